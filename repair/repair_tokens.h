// The damaged token the repair pass looks for, its replacement, and the
// sizes of the streaming buffer derived from them.
#pragma once

#include <cstdint>

inline constexpr char DamagedValuesToken[] = "/Values [ --.-00000";
inline constexpr char RepairedValuesToken[] = "/Values [ 1.0000000";

// Lengths without the terminator, which is never compared or written.
inline constexpr int32_t kDamagedLength = sizeof DamagedValuesToken - 1;
inline constexpr int32_t kRepairedLength = sizeof RepairedValuesToken - 1;

// Bytes carried from the end of one chunk to the front of the next: the
// token length rounded up to a multiple of 8.
inline constexpr int32_t CarrySize = (kDamagedLength + 7) & ~7;

// Size of every read.
inline constexpr int32_t ChunkSize = 0x10000;
