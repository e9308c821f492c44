// Windows entry: a GUI program with no window. The tail comes from the
// process command line through CommandLineTail, not from the C runtime's
// own argument parsing, so quotes and blanks follow the droplet's rules.
#include <windows.h>

#include <cstdlib>

#include "driver/command_tail.h"
#include "driver/driver.h"
#include "host/com_host.h"
#include "host/run.h"
#include "settings/settings_block.h"
#include "system/win32_system.h"

// The runtime's default terminate handler prints the exception's demangled
// type, and brings a demangler of some 46 KB for it. Nothing in the droplet
// throws, and a GUI program has nowhere to print: this one just ends.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The System hands out what activation returns wrapped as a host object.
  static Win32System system([](void* dispatch) -> void* { return WrapComObject(dispatch); });
  InstallSystem(&system);

  // The run writes into its tail: it gets a copy of its own. The copy is
  // the wide command line in UTF-8, which holds every name exactly; the ANSI
  // command line would have turned what the code page lacks into "?" (a
  // wildcard) or a look-alike letter, naming other files. Without memory for
  // it the droplet ends as its other early exits do: 1, no box.
  char* commandLine = CommandLineToUtf8(reinterpret_cast<const char16_t*>(::GetCommandLineW()));
  if (commandLine == nullptr) return 1;
  int exitValue =
      DropletMain(instance, CommandLineTail(commandLine), RunDroplet, OwnSettingsBlock(),
                  ExitStyle::kWindowsDroplet, OwnSettingsBlockSize());
  system.Release(commandLine);
  return exitValue;
}
