// A count with its noun, agreeing in number: "1 file", "2 files".
#pragma once

#include <cstdint>
#include <cstdio>

// Writes "N noun" (one when n is 1, many otherwise) into out; the length.
inline int Counted(uint64_t n, const char* one, const char* many, char* out, int capacity) {
  return std::snprintf(out, capacity, "%llu %s", static_cast<unsigned long long>(n),
                       n == 1 ? one : many);
}
