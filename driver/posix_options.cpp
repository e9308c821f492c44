#include "driver/posix_options.h"

#include <cerrno>
#include <cstring>

#include "droplet_version.h"

namespace {

// After "Usage: NAME".
const char kUsage[] =
    " [OPTION]... [--] FILE...\n"
    "Repairs damaged documents in place and hands them to the host editor as one\n"
    "batch request, which this build prints as JSON on standard output.\n"
    "\n"
    "  -r, --recursive   a folder stands for the files in it and its subfolders\n"
    "  -k, --keep-going  report a file that fails and go on; send the others\n"
    "      --check       only count damaged values: print PATH: COUNT for each\n"
    "                    damaged document; nothing is written or sent\n"
    "  -v, --verbose     print what became of each file, and a summary, on\n"
    "                    standard error; with --check, print PATH: 0 for each\n"
    "                    sound document too (no summary)\n"
    "      --send=WHAT   which files go to the host editor: all (the default),\n"
    "                    repaired (those this run changed) or none (repair in\n"
    "                    place only; no host is needed)\n"
    "  -0, --null        end each name in the --check lines with a NUL, not ': '\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "  --                end of the options: every later argument is a file\n"
    "\n"
    "Short options combine (-rkv). A file whose name starts with - is given as\n"
    "./NAME or after --.\n"
    "Exit status: 0 when every file was repaired and sent, 1 on a failure (the\n"
    "message is on standard error), 2 for a usage error. With --check: 0 when\n"
    "every document is sound, 1 when any is damaged, 2 when one could not be read\n"
    "or the counts could not be written.\n"
    "See droplet(1).\n";

// Prints text on out; 0 when it reached it, else 1 with a message on err: a
// help or version lost to a full or closed output is not a success.
int Print(const char* name, const char* text, const char* more, std::FILE* out, std::FILE* err) {
  errno = 0;
  if (std::fputs(text, out) >= 0 && std::fputs(more, out) >= 0 && std::fflush(out) == 0 &&
      !std::ferror(out))
    return 0;
  int error = errno;
  std::fprintf(err, "%s: cannot write to standard output: %s\n", name,
               error != 0 ? std::strerror(error) : "write error");
  return 1;
}

int Usage(const char* name, std::FILE* out, std::FILE* err) {
  char head[300];
  std::snprintf(head, sizeof head, "Usage: %s", name);
  return Print(name, head, kUsage, out, err);
}

// An option that is not one: refused before anything is touched, rather
// than taken for a file.
int Unknown(const char* name, const char* option, const char* arg, std::FILE* err) {
  std::fprintf(err,
               "%s: unknown option %s\n"
               "A file whose name starts with - is given as ./%s or after --.\n"
               "Try '%s --help'.\n",
               name, option, arg, name);
  return 2;
}

int BadSend(const char* name, const char* value, std::FILE* err) {
  if (value == nullptr)
    std::fprintf(err, "%s: --send needs a value: all, repaired or none\n", name);
  else
    std::fprintf(err, "%s: --send: unknown value '%s' (all, repaired or none)\n", name, value);
  std::fprintf(err, "Try '%s --help'.\n", name);
  return 2;
}

// The flag a short option letter sets; nullptr for another letter.
bool* ShortFlag(char letter, PosixRunOptions* options) {
  switch (letter) {
    case 'r': return &options->recursive;
    case 'k': return &options->keepGoing;
    case 'v': return &options->verbose;
    case '0': return &options->null;
    default: return nullptr;
  }
}

bool* LongFlag(const char* arg, PosixRunOptions* options) {
  const struct {
    const char* name;
    bool PosixRunOptions::*flag;
  } kLong[] = {{"--recursive", &PosixRunOptions::recursive},
               {"--keep-going", &PosixRunOptions::keepGoing},
               {"--check", &PosixRunOptions::check},
               {"--verbose", &PosixRunOptions::verbose},
               {"--null", &PosixRunOptions::null}};
  for (const auto& o : kLong)
    if (std::strcmp(arg, o.name) == 0) return &(options->*o.flag);
  return nullptr;
}

}  // namespace

const char* ProgramName(const char* argv0) {
  if (argv0 == nullptr || *argv0 == 0) return "droplet";
  const char* slash = std::strrchr(argv0, '/');
  return slash != nullptr && slash[1] != 0 ? slash + 1 : argv0;
}

int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err) {
  PosixRunOptions ignored;
  return ReadPosixOptions(argc, argv, out, err, &ignored);
}

int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err,
                     PosixRunOptions* options) {
  const char* name = ProgramName(*argc > 0 ? argv[0] : nullptr);
  auto version = [&] {
    char line[300];
    std::snprintf(line, sizeof line, "%s %s", name, DROPLET_VERSION);
    return Print(name, line, "\n", out, err);
  };
  // Files move down over the options; a file never moves past its own place.
  int kept = *argc > 0 ? 1 : 0;
  bool reading = true;  // options
  for (int i = 1; i < *argc; ++i) {
    char* arg = argv[i];
    if (!reading || arg[0] != '-' || arg[1] == 0) {  // "-" alone is a file
      argv[kept++] = arg;
      continue;
    }
    if (arg[1] != '-') {
      // Short options, one or more in a word.
      for (const char* letter = arg + 1; *letter != 0; ++letter) {
        if (*letter == 'h') return Usage(name, out, err);
        if (*letter == 'V') return version();
        bool* flag = ShortFlag(*letter, options);
        if (flag == nullptr) {
          char option[3] = {'-', *letter, 0};
          return Unknown(name, option, arg, err);
        }
        *flag = true;
      }
      continue;
    }
    if (arg[2] == 0) {
      reading = false;  // the first "--" only; a later one is a file
    } else if (std::strcmp(arg, "--help") == 0) {
      return Usage(name, out, err);
    } else if (std::strcmp(arg, "--version") == 0) {
      return version();
    } else if (bool* flag = LongFlag(arg, options)) {
      *flag = true;
    } else if (std::strncmp(arg, "--send", 6) == 0 && (arg[6] == 0 || arg[6] == '=')) {
      const char* value = arg[6] == '=' ? arg + 7 : i + 1 < *argc ? argv[++i] : nullptr;
      if (value == nullptr || !SendFromName(value, &options->send))
        return BadSend(name, value, err);
      options->sendGiven = true;
    } else {
      return Unknown(name, arg, arg, err);
    }
  }
  argv[kept] = nullptr;
  *argc = kept;
  bool given = options->recursive || options->keepGoing || options->check || options->verbose ||
               options->sendGiven;
  if (kept <= 1 && !given && !options->madeWithOptions) {
    // Nothing to do is a usage error, not an empty request.
    std::fprintf(err, "%s: no file given\n", name);
    Usage(name, err, err);
    return 2;
  }
  return -1;
}
