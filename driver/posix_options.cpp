#include "driver/posix_options.h"

#include <cerrno>
#include <cstring>

#include "droplet_version.h"

namespace {

const char kUsage[] =
    "Usage: droplet [OPTION]... [--] FILE...\n"
    "Repairs damaged documents in place and hands them to the host editor as one\n"
    "batch request, which this build prints as JSON on standard output.\n"
    "\n"
    "  -r, --recursive   a folder stands for the files in it and its subfolders\n"
    "  -k, --keep-going  report a file that fails and go on; send the others\n"
    "      --check       only count damaged values: print PATH: COUNT for each\n"
    "                    damaged document; nothing is written or sent\n"
    "  -v, --verbose     print each file and a summary on standard error (with\n"
    "                    --check, sound documents too)\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "  --                end of the options: every later argument is a file\n"
    "\n"
    "A file whose name starts with -- or is an option is given as ./NAME or after --.\n"
    "Exit status: 0 when every file was repaired and sent, 1 on a failure (the\n"
    "message is on standard error), 2 for a usage error. With --check: 0 when\n"
    "every document is sound, 1 when any is damaged, 2 when one could not be read.\n"
    "See droplet(1).\n";

// Prints text on out; 0 when it reached it, else 1 with a message on err: a
// help or version lost to a full or closed output is not a success.
int Print(const char* text, std::FILE* out, std::FILE* err) {
  errno = 0;
  if (std::fputs(text, out) >= 0 && std::fflush(out) == 0 && !std::ferror(out)) return 0;
  int error = errno;
  std::fprintf(err, "droplet: cannot write to standard output: %s\n",
               error != 0 ? std::strerror(error) : "write error");
  return 1;
}

bool Is(const char* arg, const char* shortName, const char* longName) {
  return std::strcmp(arg, shortName) == 0 || std::strcmp(arg, longName) == 0;
}

}  // namespace

int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err) {
  PosixRunOptions ignored;
  return ReadPosixOptions(argc, argv, out, err, &ignored);
}

int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err,
                     PosixRunOptions* options) {
  // Files move down over the options; a file never moves past its own place.
  int kept = *argc > 0 ? 1 : 0;
  bool reading = true;  // options
  for (int i = 1; i < *argc; ++i) {
    char* arg = argv[i];
    if (reading && Is(arg, "-h", "--help")) return Print(kUsage, out, err);
    if (reading && Is(arg, "-V", "--version"))
      return Print("droplet " DROPLET_VERSION "\n", out, err);
    bool* option = Is(arg, "-r", "--recursive")    ? &options->recursive
                   : Is(arg, "-k", "--keep-going") ? &options->keepGoing
                   : Is(arg, "--check", "--check") ? &options->check
                   : Is(arg, "-v", "--verbose")    ? &options->verbose
                                                   : nullptr;
    if (reading && option != nullptr) {
      *option = true;
      continue;
    }
    if (reading && std::strncmp(arg, "--", 2) == 0) {
      if (arg[2] == '\0') {
        reading = false;  // the first "--" only; a later one is a file
      } else {
        // Refused before anything is touched, rather than taken for a file.
        std::fprintf(err,
                     "droplet: unknown option %s\n"
                     "A file whose name starts with -- is given as ./%s or after --.\n"
                     "Try 'droplet --help'.\n",
                     arg, arg);
        return 2;
      }
      continue;
    }
    argv[kept++] = arg;
  }
  argv[kept] = nullptr;
  *argc = kept;
  if (kept <= 1) {
    // Nothing to do is a usage error, not an empty request.
    std::fprintf(err, "droplet: no file given\n%s", kUsage);
    return 2;
  }
  return -1;
}
