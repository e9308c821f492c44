// The repair soak: many seeded files, each repaired in memory (over the fake
// System) through every scan path the processor runs, against the plain
// model: the same bytes and one write per occurrence. Prints the counts per
// path and the seeds of the first mismatches; exits 1 on any mismatch.
//
// Usage: repair_soak [FILES [SEED]]   (default a million files, seed 1)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "repair/repair_file.h"
#include "repair/scan_path.h"
#include "tests/repair/repair_model.h"
#include "tests/support/fake_system.h"

namespace {

// A small, fast generator (splitmix64): one per file, so that a mismatch is
// reproduced from its seed alone.
struct SplitMix {
  uint64_t state;
  std::size_t operator()() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::size_t>((z ^ (z >> 31)) & 0xFFFFFFFFu);
  }
};

struct Tally {
  ScanPath path;
  const char* name;
  bool runs;
  uint64_t files = 0, occurrences = 0, writes = 0, bytes = 0, mismatches = 0;
  double seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  // Files of up to two chunks and a little: every border case, at a size that
  // keeps a million runs to minutes.
  const std::size_t kMaxSize = 2 * 0x10000 + 64;
  WideMode = true;

  Tally tallies[] = {{ScanPath::Word, "word", true},
                     {ScanPath::Sse2, "SSE2", ScanPathAvailable(ScanPath::Sse2)},
                     {ScanPath::Avx2, "AVX2", ScanPathAvailable(ScanPath::Avx2)}};
  FakeSystem fake;
  FakeSystem::Node& node = fake.AddFile(u"C:\\soak.psd");
  ScopedSystem installed(fake);

  for (uint64_t i = 0; i < files; ++i) {
    const uint64_t fileSeed = seed * 0x100000000ull + i;
    SplitMix next{fileSeed};
    const std::string bytes = repair_model::Build(next, kMaxSize);
    const std::string want = repair_model::Repair(bytes);
    const int occurrences = repair_model::Occurrences(bytes);
    for (Tally& tally : tallies) {
      if (!tally.runs) continue;
      SetScanPath(tally.path);
      node.data.assign(bytes.begin(), bytes.end());
      fake.log.clear();
      auto start = std::chrono::steady_clock::now();
      int32_t result = RepairFile(u"C:\\soak.psd");
      tally.seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::size_t writes = fake.LogOf("WriteFile").size();
      ++tally.files;
      tally.occurrences += static_cast<uint64_t>(occurrences);
      tally.writes += writes;
      tally.bytes += bytes.size();
      bool same = result == 0 && node.data.size() == want.size() &&
                  (want.empty() || std::memcmp(node.data.data(), want.data(), want.size()) == 0) &&
                  writes == static_cast<std::size_t>(occurrences) && fake.LiveAllocations() == 0;
      if (!same && ++tally.mismatches <= 5)
        std::printf(
            "mismatch on the %s path: file seed %llu, %zu bytes, result %d, %zu writes for %d "
            "occurrences\n",
            tally.name, static_cast<unsigned long long>(fileSeed), bytes.size(),
            static_cast<int>(result), writes, occurrences);
    }
  }
  SetScanPath(ScanPath::Auto);

  uint64_t mismatches = 0;
  std::printf("| Scan path | Files | Bytes | Occurrences | Writes | Mismatches | Pass time |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  for (const Tally& tally : tallies) {
    if (!tally.runs) {
      std::printf("| %s | not run: this processor lacks it | | | | | |\n", tally.name);
      continue;
    }
    std::printf("| %s | %llu | %llu | %llu | %llu | %llu | %.1f s |\n", tally.name,
                static_cast<unsigned long long>(tally.files),
                static_cast<unsigned long long>(tally.bytes),
                static_cast<unsigned long long>(tally.occurrences),
                static_cast<unsigned long long>(tally.writes),
                static_cast<unsigned long long>(tally.mismatches), tally.seconds);
    mismatches += tally.mismatches;
  }
  return mismatches == 0 ? 0 : 1;
}
