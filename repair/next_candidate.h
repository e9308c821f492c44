// Finders of the next start offset worth a token test, one per scan path.
// Each gives the first offset from at on, before end, whose bytes may begin
// the damaged token, or end when there is none. A finder passes over only
// offsets that cannot begin an occurrence, and every offset it gives holds
// the token's first byte ("/"), so the test that follows may begin at the
// second byte. The bytes of every start offset below end must be readable
// (from base + at up to base + end + 17).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "repair/repair_tokens.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define DROPLET_X86_VECTOR_SCAN 1
#else
#define DROPLET_X86_VECTOR_SCAN 0
#endif

// The next "/", in plain integer code. Where "/" bytes are dense, looking at
// a word of eight bytes at a time beats both a byte loop (a branch per byte)
// and a memchr call per candidate; long gaps go to memchr. Inline: the word
// path runs it for every "/" of the file.
inline int32_t NextCandidateWord(const uint8_t* base, int32_t at, int32_t end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kSlashes = kOnes * static_cast<uint8_t>(DamagedValuesToken[0]);
    for (int word = 0; word < 2 && end - at >= 8; ++word, at += 8) {
      uint64_t bytes;
      std::memcpy(&bytes, base + at, 8);
      uint64_t x = bytes ^ kSlashes;  // a zero byte where a "/" is
      // The lowest flagged byte is exact: false flags only sit above a zero.
      uint64_t zero = (x - kOnes) & ~x & kHigh;
      if (zero != 0) return at + std::countr_zero(zero) / 8;
    }
  }
  if (at >= end) return end;
  const void* hit =
      std::memchr(base + at, DamagedValuesToken[0], static_cast<std::size_t>(end - at));
  return hit == nullptr ? end : static_cast<int32_t>(static_cast<const uint8_t*>(hit) - base);
}

#if DROPLET_X86_VECTOR_SCAN
// 16 (SSE2) or 32 (AVX2) start offsets at a time: an offset is a candidate
// when its first, middle and last bytes are those of the token. Only for a
// processor that has the instructions (ScanPathAvailable).
int32_t NextCandidateSse2(const uint8_t* base, int32_t at, int32_t end);
int32_t NextCandidateAvx2(const uint8_t* base, int32_t at, int32_t end);
#endif
