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
#include "tests/repair/repair_model.h"
#include "tests/support/fake_system.h"

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
    // Byte copies by memcpy: element-wise copies dominate an instrumented build.
    std::vector<uint8_t> file(bytes.size());
    if (!bytes.empty()) std::memcpy(file.data(), bytes.data(), bytes.size());
    FakeSystem fake;
    FakeSystem::Node& node = fake.AddFile(u"C:\\fuzz.psd", std::move(file));
    int32_t result;
    {
      ScopedSystem installed(fake);
      result = RepairFile(u"C:\\fuzz.psd");
    }
    std::size_t writes = fake.LogOf("WriteFile").size();
    if (result != 0 || node.data.size() != want.size() ||
        (!want.empty() && std::memcmp(node.data.data(), want.data(), want.size()) != 0) ||
        writes != static_cast<std::size_t>(repair_model::Occurrences(bytes)) ||
        fake.LiveAllocations() != 0) {
      std::fprintf(stderr, "mismatch on the %s path: result %d, %zu bytes, %zu writes\n",
                   path == ScanPath::Word ? "word" : path == ScanPath::Sse2 ? "SSE2" : "AVX2",
                   static_cast<int>(result), bytes.size(), writes);
      std::abort();
    }
  }
  SetScanPath(ScanPath::Auto);
  return 0;
}
