// Linux entry: the same droplet over the POSIX System.
#include <cstdio>

#include "driver/command_tail.h"
#include "driver/driver.h"
#include "driver/droplet_settings.h"
#include "driver/posix_options.h"
#include "driver/settings_block.h"
#include "host/json_host.h"
#include "host/run.h"
#include "system/posix_system.h"

int main(int argc, char** argv) {
  // The options first; what remains in argv are the files.
  if (int done = ReadPosixOptions(&argc, argv, stdout, stderr); done >= 0) return done;

  PosixSystem system;
  InstallSystem(&system);

  // The walk receives every argument exactly as the shell passed it. Nothing
  // here may end the process other than by returning 1: the tail is made
  // through the System, whose allocation reports failure as no memory.
  int refused = 0;
  char* tail = TailFromArguments(argc, argv, &refused);
  if (tail == nullptr) {
    if (refused != 0)
      std::fprintf(stderr,
                   "droplet: cannot pass a file name that starts with a double quote or holds "
                   "both a double quote and a space: %s\n",
                   argv[refused]);
    InstallSystem(nullptr);
    return 1;
  }

  // The embedded request host answers to the identifier the run forms from
  // the settings, so that the two cannot drift apart (a block that fails its
  // checks fails again in DropletMain, which says so).
  FillDropletSettings(OwnSettingsBlock());
  char16_t progId[256];
  int n = 0;
  for (const char* p = Settings.hostName; *p != 0 && n < 241; ++p)
    progId[n++] = static_cast<char16_t>(static_cast<unsigned char>(*p));
  for (const char* p = kIdentifierSuffix; *p != 0; ++p) progId[n++] = static_cast<char16_t>(*p);
  progId[n] = 0;
  system.RegisterHost(progId, kJsonHostClsid, []() -> void* { return CreateJsonHost(); });

  int exitValue = DropletMain(nullptr, tail, RunDroplet, OwnSettingsBlock(), ExitStyle::kUnixTool);
  system.Release(tail);
  InstallSystem(nullptr);
  return exitValue;
}
