#include "repair/next_candidate.h"

#if DROPLET_X86_VECTOR_SCAN

#include <immintrin.h>

#include <bit>

#include "repair/repair_tokens.h"

namespace {

constexpr uint8_t kFirstByte = static_cast<uint8_t>(DamagedValuesToken[0]);  // "/"
// The bytes the vector filter compares besides the first: the last one ("0")
// and the first "-", which sets the damaged token apart from the repaired one
// and from colour lists ("/Values [ 1.0 0.0 0.0 0.0 ]"), both common in
// documents. (Its second byte, "V", would let through every "/Values" and
// "/V" name of page text.)
constexpr int32_t kMiddle = 10;
constexpr int32_t kLast = kDamagedLength - 1;
constexpr char kMiddleByte = DamagedValuesToken[kMiddle];
constexpr char kLastByte = DamagedValuesToken[kLast];

}  // namespace

// The vector finders compare the bytes of 16 or 32 start offsets at once
// with unaligned loads, four blocks in a group. Each offset of the group is
// tested for all three bytes (first, middle, last) before any branch, so the
// one branch per group is almost never taken whatever the bytes are: random
// bytes, where a group holds a "/" more often than not, cost what bytes
// without any "/" do. Only a group that holds a candidate is looked at block
// by block. A block is taken only when all its offsets lie below end, so no
// load reaches past the last start offset's last byte; the few offsets left
// at the end go to the word finder.

namespace {

__attribute__((target("sse2"), always_inline)) inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 0xFF at each of the 16 offsets from p on that holds the three bytes.
__attribute__((target("sse2"), always_inline)) inline __m128i Hits16(const uint8_t* p) {
  __m128i first = _mm_cmpeq_epi8(Load16(p), _mm_set1_epi8(static_cast<char>(kFirstByte)));
  __m128i middle = _mm_cmpeq_epi8(Load16(p + kMiddle), _mm_set1_epi8(kMiddleByte));
  __m128i last = _mm_cmpeq_epi8(Load16(p + kLast), _mm_set1_epi8(kLastByte));
  return _mm_and_si128(_mm_and_si128(first, last), middle);
}

__attribute__((target("sse2"), always_inline)) inline uint32_t Candidates16(const uint8_t* p) {
  return static_cast<uint32_t>(_mm_movemask_epi8(Hits16(p)));
}

__attribute__((target("avx2"), always_inline)) inline __m256i Load32(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"), always_inline)) inline __m256i Hits32(const uint8_t* p) {
  __m256i first = _mm256_cmpeq_epi8(Load32(p), _mm256_set1_epi8(static_cast<char>(kFirstByte)));
  __m256i middle = _mm256_cmpeq_epi8(Load32(p + kMiddle), _mm256_set1_epi8(kMiddleByte));
  __m256i last = _mm256_cmpeq_epi8(Load32(p + kLast), _mm256_set1_epi8(kLastByte));
  return _mm256_and_si256(_mm256_and_si256(first, last), middle);
}

__attribute__((target("avx2"), always_inline)) inline uint32_t Candidates32(const uint8_t* p) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(Hits32(p)));
}

}  // namespace

__attribute__((target("sse2"))) int32_t NextCandidateSse2(const uint8_t* base, int32_t at,
                                                          int32_t end) {
  // A count of groups rather than a bound keeps the loop to one test.
  for (int32_t groups = end > at ? (end - at) / 64 : 0; groups > 0; --groups, at += 64) {
    const uint8_t* p = base + at;
    __m128i any = _mm_or_si128(_mm_or_si128(Hits16(p), Hits16(p + 16)),
                               _mm_or_si128(Hits16(p + 32), Hits16(p + 48)));
    if (_mm_movemask_epi8(any) == 0) continue;
    for (int32_t block = 0; block < 64; block += 16) {
      uint32_t mask = Candidates16(p + block);
      if (mask != 0) return at + block + std::countr_zero(mask);
    }
  }
  for (; end - at >= 16; at += 16) {
    uint32_t mask = Candidates16(base + at);
    if (mask != 0) return at + std::countr_zero(mask);
  }
  return at >= end ? end : NextCandidateWord(base, at, end);
}

__attribute__((target("avx2"))) int32_t NextCandidateAvx2(const uint8_t* base, int32_t at,
                                                          int32_t end) {
  for (int32_t groups = end > at ? (end - at) / 128 : 0; groups > 0; --groups, at += 128) {
    const uint8_t* p = base + at;
    __m256i any = _mm256_or_si256(_mm256_or_si256(Hits32(p), Hits32(p + 32)),
                                  _mm256_or_si256(Hits32(p + 64), Hits32(p + 96)));
    if (_mm256_testz_si256(any, any) != 0) continue;
    for (int32_t block = 0; block < 128; block += 32) {
      uint32_t mask = Candidates32(p + block);
      if (mask != 0) return at + block + std::countr_zero(mask);
    }
  }
  for (; end - at >= 32; at += 32) {
    uint32_t mask = Candidates32(base + at);
    if (mask != 0) return at + std::countr_zero(mask);
  }
  return at >= end ? end : NextCandidateWord(base, at, end);
}

#endif
