// Differential fuzzing of the repair pass: the input describes a file made of
// tokens, partial tokens, "/" runs and fills up to the chunk borders; the
// pass over the fake System, through each scan path, must leave exactly what
// the plain model gives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "repair/repair_file.h"
#include "repair/scan_path.h"
#include "tests/repair/fake_repair.h"
#include "tests/repair/repair_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  auto next = [&]() -> std::size_t {
    if (at >= size) return 0;
    std::size_t value = data[at++];
    if (at < size) value = value << 8 | data[at++];
    return value;
  };
  std::string bytes = repair_model::Build(next, 3 * 0x10000 + 64);
  std::string want = repair_model::Repair(bytes);

  // Every scan path this processor runs must leave the same file.
  for (ScanPath path : {ScanPath::Word, ScanPath::Sse2, ScanPath::Avx2}) {
    if (!SetScanPath(path)) continue;
    FakeRepair run = RepairOnFake(bytes);
    if (run.result != 0 || run.bytes != want ||
        run.writes != static_cast<std::size_t>(repair_model::Occurrences(bytes)) ||
        run.liveAllocations != 0) {
      std::fprintf(stderr, "mismatch on the %s path: result %d, %zu bytes, %zu writes\n",
                   path == ScanPath::Word ? "word" : path == ScanPath::Sse2 ? "SSE2" : "AVX2",
                   static_cast<int>(run.result), bytes.size(), run.writes);
      std::abort();
    }
  }
  SetScanPath(ScanPath::Auto);
  return 0;
}
