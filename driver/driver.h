// The droplet's main routine: fixes its own path and caption, fills the
// settings, runs the job, shows the one error box if the job failed.
#pragma once

#include <cstdint>

#include "system/capacities.h"

extern char16_t ModulePath[kModulePathCapacity];

#ifdef _WIN32
inline constexpr char16_t kModulePathSeparator = u'\\';
#else
inline constexpr char16_t kModulePathSeparator = u'/';
#endif

// The run: given the writable command line tail, returns a result whose low
// 16 bits are the error code (0: success), with its message in CurrentMessage.
using RunProc = int32_t (*)(char* tail);

// How the droplet ends: as the Windows program (it reads one byte of
// standard input and always gives 1), or as a Unix tool (it reads nothing
// and gives 0 for a run that succeeded, 1 for one that failed).
enum class ExitStyle { kWindowsDroplet, kUnixTool };

// Returns the process exit value. settingsBlock: the program's settings
// block, applied after the defaults; a block that fails its checks shows the
// internal-error box with -50 instead of the run.
int DropletMain(void* module, char* tail, RunProc run, const uint8_t* settingsBlock = nullptr,
                ExitStyle style = ExitStyle::kWindowsDroplet);

// The command line without the program name and the blanks after it.
char* CommandLineTail(char* commandLine);

// The Windows start-up's command line: the wide one as UTF-8, so that every
// name reaches the walk exactly, in an allocation of its own (Sys().Allocate);
// nullptr when there is no memory for it.
char* CommandLineToUtf8(const char16_t* commandLine);

// The POSIX start-up's command line tail: every argument exactly as the shell
// passed it, in an allocation of its own (Sys().Allocate). nullptr when there
// is no memory for it, or with *refused set to the argument's index when an
// argument cannot be passed (it starts with a double quote, or holds both a
// double quote and a space).
char* TailFromArguments(int argc, char* const* argv, int* refused);
