// Linux entry: the same droplet over the POSIX System.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/droplet_settings.h"
#include "driver/posix_options.h"
#include "host/json_host.h"
#include "host/run.h"
#include "system/posix_system.h"

namespace {

// Forms the command line tail from argv so that the walk receives every
// argument exactly as the shell passed it: each one in double quotes
// (quoted paths are used unchanged), unless it holds a double quote itself.
bool FormTail(int argc, char** argv, std::string* tail) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!tail->empty()) *tail += ' ';
    if (std::strchr(arg, '"') == nullptr) {
      *tail += '"';
      *tail += arg;
      *tail += '"';
    } else if (arg[0] != '"' && std::strchr(arg, ' ') == nullptr) {
      *tail += arg;
    } else {
      std::fprintf(stderr,
                   "droplet: cannot pass a file name that starts with a double quote or holds "
                   "both a double quote and a space: %s\n",
                   arg);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // --help, --version and "--" first; what remains are the files.
  std::vector<char*> files;
  if (int done = ReadPosixOptions(argc, argv, &files, stdout, stderr); done >= 0) return done;
  argc = static_cast<int>(files.size()) - 1;
  argv = files.data();

  std::string tail;
  if (!FormTail(argc, argv, &tail)) return 1;
  PosixSystem system;
  InstallSystem(&system);

  // The embedded request host answers to the identifier the run forms from
  // the settings, so that the two cannot drift apart.
  ApplyDropletDefaults();
  std::u16string progId;
  for (const char* p = gDropletSettings.hostName; *p != 0; ++p)
    progId += static_cast<char16_t>(static_cast<unsigned char>(*p));
  progId += u".Application.7";
  system.RegisterHost(progId.c_str(), kJsonHostClsid, CreateJsonHost);

  int exitValue = DropletMain(nullptr, tail.data(), RunDroplet);
  InstallSystem(nullptr);
  return exitValue;
}
