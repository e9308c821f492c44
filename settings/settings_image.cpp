// The section a made droplet's settings are stamped into, with file bytes,
// so that droplet-maker can overwrite them in a copy of the program. Linked
// into the droplets only.
//
// Windows: a small reserve in the image's last section (the linker script
// settings_section.ld puts it there), which droplet-maker grows to
// what the block uses; the program holds as many bytes as its own section
// header maps. Linux: the block's full size, which the maker overwrites in
// place.

#include "settings/byte_order.h"
#include "settings/settings_block.h"

namespace {
#ifdef _WIN32
constexpr uint32_t kReserved = kSettingsReserve;
#else
constexpr uint32_t kReserved = kSettingsBlockSize;
#endif
alignas(16) const uint8_t kBlock[kReserved]
    __attribute__((section(".dropset"), used)) = DROPLET_UNSTAMPED_SETTINGS;

// The compiler knows the template's bytes; the program must read the
// stamped ones.
const uint8_t* Stamped(const uint8_t* block) {
  asm volatile("" : "+r"(block));
  return block;
}
}  // namespace

#ifdef _WIN32
// The program's own image as the loader mapped it (the linker's name).
extern "C" const uint8_t __ImageBase[];

size_t OwnSettingsBlockSize() {
  // The section the loader mapped the block in: its header, in the image's
  // own headers, says how many bytes are there.
  const uint8_t* base = __ImageBase;
  const uint8_t* pe = base + Load32(base + 0x3C);
  uint32_t sections = Load32(pe + 6) & 0xFFFF, optionalSize = Load32(pe + 20) & 0xFFFF;
  const uint8_t* table = pe + 24 + optionalSize;
  uintptr_t rva = reinterpret_cast<uintptr_t>(Stamped(kBlock)) - reinterpret_cast<uintptr_t>(base);
  for (uint32_t i = 0; i < sections; ++i) {
    const uint8_t* header = table + 40 * i;
    uint32_t size = Load32(header + 8), address = Load32(header + 12);
    if (rva < address || rva - address >= size) continue;
    size_t held = address + size - rva;
    return held < kSettingsBlockSize ? held : kSettingsBlockSize;
  }
  return sizeof kBlock;
}
#else
size_t OwnSettingsBlockSize() { return sizeof kBlock; }
#endif

const uint8_t* OwnSettingsBlock() { return Stamped(kBlock); }
