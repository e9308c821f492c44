// The section a made droplet's settings are stamped into: reserved here at
// its full size, with file bytes, so that droplet-maker can overwrite them in
// a copy of the program. Linked into the droplets only.
#include "driver/settings_block.h"

namespace {
alignas(16) const uint8_t kBlock[kSettingsBlockSize]
    __attribute__((section(".dropset"), used)) = DROPLET_UNSTAMPED_SETTINGS;
}  // namespace

const uint8_t* OwnSettingsBlock() {
  // The compiler knows the template's bytes; the program must read the
  // stamped ones.
  const uint8_t* block = kBlock;
  asm volatile("" : "+r"(block));
  return block;
}
