#include "driver/driver.h"

#include <cstring>

#include "driver/file_arguments.h"
#include "messages/error_box.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "messages/summary_boxes.h"
#include "messages/trace.h"
#include "settings/droplet_settings.h"
#include "settings/settings_block.h"
#include "system/system.h"

char16_t ModulePath[kModulePathCapacity];

namespace {

// Finds the module path; false when the system gives none, or only a cut
// one: the caption is taken from its end, which a cut path does not have.
bool FindModulePath(void* module) {
  constexpr uint32_t kAsked = kModulePathCapacity - 1;
  std::memset(ModulePath, 0, sizeof ModulePath);
  if (uint32_t length = Sys().GetModuleFileNameW(module, ModulePath, kAsked); length != 0) {
    ModulePath[kModulePathCapacity - 1] = 0;
    return length < kAsked;
  }
  WideMode = false;
  static char narrow[kModulePathCapacity];
  std::memset(narrow, 0, sizeof narrow);
  uint32_t length = Sys().GetModuleFileNameA(module, narrow, kAsked);
  if (length == 0 || length >= kAsked) return false;
  std::memset(ModulePath, 0, sizeof ModulePath);
  if (Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, narrow, static_cast<int>(length),
                                ModulePath, kModulePathCapacity - 1) == 0)
    return false;
  ModulePath[kModulePathCapacity - 1] = 0;
  return true;
}

// The file name part of ModulePath, without an extension starting with E or e.
bool DeriveCaption() {
  const char16_t* name = nullptr;
  for (const char16_t* p = ModulePath; *p != 0; ++p)
    if (*p == kModulePathSeparator) name = p + 1;
  if (name == nullptr) return false;
  int i = 0;
  for (; i < kCaptionCapacity - 1 && name[i] != 0; ++i) DropletCaption[i] = name[i];
  DropletCaption[i] = 0;
  char16_t* dot = nullptr;
  for (char16_t* p = DropletCaption; *p != 0; ++p)
    if (*p == u'.') dot = p;
  if (dot != nullptr && (dot[1] == u'E' || dot[1] == u'e')) *dot = 0;
  return true;
}

}  // namespace

int32_t FillDropletSettings(const uint8_t* block, size_t size) {
  ApplyDropletDefaults();
  if (block == nullptr || ApplySettingsBlock(block, size, &Settings) == 0) return 0;
  CurrentMessage = msg::kInternal;
  return kBlockDamaged;
}

int DropletMain(void* module, char* tail, RunProc run, const uint8_t* settingsBlock,
                ExitStyle style, size_t settingsSize, SettingsReadyProc ready, WalkProc walk) {
  CurrentMessage = msg::kConnect;
  CurrentFile = nullptr;
  FilesChanged = false;
  HostStage = RequestStage::kConnecting;
  ResetTally();
  TraceHook(tail);
  TraceHook("\n");
  if (!FindModulePath(module)) return 1;
  if (!DeriveCaption()) return 1;
  int32_t result = FillDropletSettings(settingsBlock, settingsSize);
  if (result == 0 && ready != nullptr) ready(Settings);
  FoldersWalked = Settings.recursive;
  if (result == 0) result = run(tail, walk != nullptr ? walk : WalkFileArguments);
  // A run that ended with its own summary has said what went wrong; one the
  // user cancelled needs no box: the user chose it.
  if (LowCode(result) != 0 && result != kRunCancelled && !Tally.summaryShown) ShowErrorBox(result);
  // Stopped by the user: the choice needs no box, but files it changed do.
  if (result == kRunCancelled && Tally.damagedFiles > 0 && !Settings.check) ShowStoppedBox();
  TraceHook("Finishing\n");
  if (style == ExitStyle::kUnixTool) {
    // A Unix tool leaves its standard input to the script that started it
    // and tells it how the run went.
    TraceHook("Done\n");
    if (Tally.exitChosen) return Tally.exitValue;
    return LowCode(result) != 0 ? 1 : 0;
  }

  // Wait for one byte of standard input, if there is any; the outcome does
  // not matter.
  char byte;
  uint32_t done = 0;
  Sys().ReadFile(Sys().GetStdHandle(kStdInputHandle), &byte, 1, &done);
  TraceHook("Done\n");
  return 1;
}
