// The settings block decoder on any bytes: it never reads outside them, and
// a block it accepts writes back to one it reads the same way. An odd first
// byte has the checksum put right first, so that the checks behind it are
// reached too.
#include <cstdint>
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
  DropletSettings read, reread;
  for (DropletSettings* s : {&read, &reread}) {
    s->hostName = "Pixmantle";
    s->actionData = &kNone;
    s->destinationMode = 1;
  }
  if (ApplySettingsBlock(block.data(), block.size(), &read) != 0) return 0;

  // Written back and read again, the settings write the same bytes again.
  std::vector<uint8_t> again(kSettingsBlockSize), twice(kSettingsBlockSize);
  if (!EncodeSettingsBlock(read, again.data(), again.size()) ||
      ApplySettingsBlock(again.data(), again.size(), &reread) != 0 ||
      !EncodeSettingsBlock(reread, twice.data(), twice.size()) || again != twice)
    __builtin_trap();
  return 0;
}
