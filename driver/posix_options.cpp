#include "driver/posix_options.h"

#include <cstring>

#include "droplet_version.h"

namespace {

const char kUsage[] =
    "Usage: droplet [--] FILE...\n"
    "Repairs damaged documents in place and hands them to the host editor as one\n"
    "batch request, which this build prints as JSON on standard output.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "  --         end of the options: every later argument is a file\n"
    "\n"
    "A file whose name starts with -- is given as ./--name or after --.\n"
    "See droplet(1).\n";

}  // namespace

int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err) {
  // Files move down over the options; a file never moves past its own place.
  int kept = *argc > 0 ? 1 : 0;
  bool options = true;
  for (int i = 1; i < *argc; ++i) {
    char* arg = argv[i];
    if (options && std::strncmp(arg, "--", 2) == 0) {
      if (arg[2] == '\0') {
        options = false;  // the first "--" only; a later one is a file
      } else if (std::strcmp(arg, "--help") == 0) {
        std::fputs(kUsage, out);
        return 0;
      } else if (std::strcmp(arg, "--version") == 0) {
        std::fputs("droplet " DROPLET_VERSION "\n", out);
        return 0;
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
  return -1;
}
