// Windows entry: a GUI program with no window. The tail comes from the
// process command line through CommandLineTail, not from the C runtime's
// own argument parsing, so quotes and blanks follow the droplet's rules.
#include <windows.h>

#include <cstring>
#include <vector>

#include "driver/driver.h"
#include "host/run.h"
#include "system/win32_system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static Win32System system;
  InstallSystem(&system);

  // The run writes into its tail; give it a copy of its own rather than the
  // process's command line, which the system hands to other callers too.
  const char* commandLine = ::GetCommandLineA();
  std::vector<char> copy(commandLine, commandLine + std::strlen(commandLine) + 1);
  return DropletMain(instance, CommandLineTail(copy.data()), RunDroplet);
}
