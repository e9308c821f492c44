// The settings block decoder on any bytes: it never reads outside them, and
// a block it accepts writes back to one it reads the same way. An odd first
// byte has the checksum put right first, so that the checks behind it are
// reached too.
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings/droplet_settings.h"
#include "settings/settings_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool seal = (data[0] & 1) != 0;
  // A copy of exactly the block's size, so that a read past it is caught.
  std::vector<uint8_t> block(data + 1, data + size);
  if (seal && block.size() >= 20) {  // fields as the block holds them: on x86, as stored
    uint32_t used, crc;
    std::memcpy(&used, &block[12], 4);
    if (used >= 20 && used <= block.size()) {
      crc = Crc32(&block[20], used - 20);
      std::memcpy(&block[16], &crc, 4);
    }
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
