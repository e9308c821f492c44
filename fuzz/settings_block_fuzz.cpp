// The settings block decoder on any bytes: it never reads outside them, and
// a block it accepts writes back to one it reads the same way.
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/droplet_settings.h"
#include "driver/settings_block.h"

namespace {

bool SameSettings(const DropletSettings& a, const DropletSettings& b) {
  auto text = [](const char* x, const char* y) {
    return (x == nullptr) == (y == nullptr) && (x == nullptr || std::strcmp(x, y) == 0);
  };
  auto path = [](const PathRecord* x, const PathRecord* y) {
    if ((x == nullptr) != (y == nullptr)) return false;
    if (x == nullptr) return true;
    const char16_t *p = PathOfRecord(x), *q = PathOfRecord(y);
    while (*p != 0 && *p == *q) ++p, ++q;
    return *p == *q;
  };
  bool same = text(a.hostName, b.hostName) && a.actionDataLength == b.actionDataLength &&
              std::memcmp(a.actionData, b.actionData, a.actionDataLength) == 0 &&
              a.flagOvrO == b.flagOvrO && a.flagOvrd == b.flagOvrd && a.flagFldr == b.flagFldr &&
              a.destinationMode == b.destinationMode &&
              path(a.destinationFolder, b.destinationFolder) &&
              a.suppressWarnings == b.suppressWarnings && a.logErrors == b.logErrors &&
              path(a.logFile, b.logFile) && a.compatMacintosh == b.compatMacintosh &&
              a.compatWindows == b.compatWindows && a.compatUnix == b.compatUnix;
  for (int i = 0; i < kNamingSlotCount; ++i)
    same = same && a.namingSlots[i].code == b.namingSlots[i].code &&
           text(a.namingSlots[i].text, b.namingSlots[i].text);
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so that a read past it is caught.
  std::vector<uint8_t> block(data, data + size);
  static const uint8_t kNone = 0;
  DropletSettings read;
  read.hostName = "Pixmantle";
  read.actionData = &kNone;
  read.destinationMode = 1;
  if (ApplySettingsBlock(block.data(), block.size(), &read) != 0) return 0;

  std::vector<uint8_t> again(kSettingsBlockSize);
  if (!EncodeSettingsBlock(read, again.data(), again.size())) __builtin_trap();
  DropletSettings reread;
  reread.hostName = "Pixmantle";
  reread.actionData = &kNone;
  reread.destinationMode = 1;
  if (ApplySettingsBlock(again.data(), again.size(), &reread) != 0 || !SameSettings(read, reread))
    __builtin_trap();
  return 0;
}
