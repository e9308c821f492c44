// A plain model of the repair (left to right, non-overlapping, over the whole
// file at once) and a builder of files whose tokens, partial tokens and "/"
// bytes sit around the 64 KiB chunk borders. Shared by the differential test
// and the fuzz target.
#pragma once

#include <cstdint>
#include <string>

#include "repair/repair_tokens.h"

namespace repair_model {

inline const std::string kDamaged(DamagedValuesToken, kDamagedLength);
inline const std::string kRepaired(RepairedValuesToken, kRepairedLength);

// Replaces the first `limit` occurrences (all when negative); gives how many
// it replaced in *replaced.
inline std::string Repair(std::string bytes, int limit = -1, int* replaced = nullptr) {
  int done = 0;
  for (std::size_t at = bytes.find(kDamaged); at != std::string::npos && done != limit;
       at = bytes.find(kDamaged, at + kDamaged.size())) {
    bytes.replace(at, kRepaired.size(), kRepaired);
    ++done;
  }
  if (replaced != nullptr) *replaced = done;
  return bytes;
}

inline int Occurrences(const std::string& bytes) {
  int n = 0;
  Repair(bytes, -1, &n);
  return n;
}

// Pulls small numbers out of a byte source (a seeded generator or fuzz input).
template <typename Next>
std::string Build(Next next, std::size_t maxSize) {
  std::string out;
  const std::size_t kChunk = 0x10000;
  int pieces = 1 + next() % 24;
  for (int i = 0; i < pieces && out.size() < maxSize; ++i) {
    switch (next() % 9) {
      case 0:  // fill up to a little before (or after) the next chunk border
      {
        std::size_t border = (out.size() / kChunk + 1) * kChunk;
        std::size_t back = next() % 40;
        std::size_t target = border > back ? border - back : border;
        if (target > out.size() && target <= maxSize)
          out.append(target - out.size(), static_cast<char>("a /\n["[next() % 5]));
        break;
      }
      case 1: case 2: out += kDamaged; break;
      case 3: out += kRepaired; break;
      case 4: out += kDamaged.substr(0, 1 + next() % (kDamaged.size() - 1)); break;
      case 5: out += kDamaged.substr(0, 1 + next() % (kDamaged.size() - 1)) + "/"; break;
      case 6: out.append(1 + next() % 3, '/'); break;
      case 7:  // the token with one byte changed
      {
        std::string changed = kDamaged;
        changed[next() % changed.size()] = static_cast<char>('A' + next() % 26);
        out += changed;
        break;
      }
      default:  // a run of one letter (the draws in a fixed order)
      {
        std::size_t length = next() % 300;
        out.append(length, static_cast<char>('a' + next() % 26));
        break;
      }
    }
  }
  if (out.size() > maxSize) out.resize(maxSize);
  return out;
}

}  // namespace repair_model
