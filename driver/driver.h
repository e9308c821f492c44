// The droplet's main routine: fixes its own path and caption, fills the
// settings, runs the job, shows the one error box if the job failed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/run.h"
#include "settings/droplet_settings.h"
#include "settings/settings_block.h"
#include "system/capacities.h"

extern char16_t ModulePath[kModulePathCapacity];  // design name

#ifdef _WIN32
inline constexpr char16_t kModulePathSeparator = u'\\';
#else
inline constexpr char16_t kModulePathSeparator = u'/';
#endif

// The run (the host's RunDroplet), handed the walk so that the host needs
// nothing from the driver: given the writable command line tail, returns a
// result whose low 16 bits are the error code (0: success), with its message
// in CurrentMessage.
using RunProc = int32_t (*)(char* tail, WalkProc walk);

// How the droplet ends: as the Windows program (it reads one byte of
// standard input and always gives 1), or as a Unix tool (it reads nothing
// and gives 0 for a run that succeeded, 1 for one that failed).
enum class ExitStyle { kWindowsDroplet, kUnixTool };

// Told once the settings are filled, before the run: the Linux entry adds
// its options here, so that the record is filled in one place and order.
using SettingsReadyProc = void (*)(DropletSettings& settings);

// Fills Settings: the defaults, then the block of size bytes when there is
// one. 0, or kBlockDamaged with the internal-error message in CurrentMessage
// when the block fails its checks.
int32_t FillDropletSettings(const uint8_t* block, size_t size = kSettingsBlockSize);

// Returns the process exit value. settingsBlock: the program's settings
// block of settingsSize bytes, applied after the defaults, then ready is
// told; a block that fails its checks shows the internal-error box with -50
// instead of the run. walk: the run's file walk (nullptr: the tail's,
// WalkFileArguments).
int DropletMain(void* module, char* tail, RunProc run, const uint8_t* settingsBlock = nullptr,
                ExitStyle style = ExitStyle::kWindowsDroplet,
                size_t settingsSize = kSettingsBlockSize, SettingsReadyProc ready = nullptr,
                WalkProc walk = nullptr);
