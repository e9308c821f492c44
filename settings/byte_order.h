// Little-endian 32-bit values in byte buffers, as the settings block and the
// program images that carry it store them, whatever the machine's order.
#pragma once

#include <cstdint>

inline uint32_t Load32(const uint8_t* p) {
  return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
