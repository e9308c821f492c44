// The settings block decoder on any bytes: it never reads outside them, and
// a block it accepts writes back to one it reads the same way. An odd first
// byte has the checksum put right first, so that the checks behind it are
// reached too.
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/droplet_settings.h"
#include "driver/settings_block.h"

namespace {

uint32_t Load32(const uint8_t* p) {
  return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

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
  if (size == 0) return 0;
  bool seal = (data[0] & 1) != 0;
  // A copy of exactly the block's size, so that a read past it is caught.
  std::vector<uint8_t> block(data + 1, data + size);
  if (seal && block.size() >= 20) {
    uint32_t used = Load32(&block[12]);
    if (used >= 20 && used <= block.size()) Store32(&block[16], Crc32(&block[20], used - 20));
  }
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
