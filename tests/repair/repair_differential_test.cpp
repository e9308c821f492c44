// The pass against the plain model on many seeded files whose tokens, partial
// tokens and "/" bytes sit around the chunk borders.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "repair/repair_file.h"
#include "tests/repair/repair_model.h"
#include "tests/repair/repair_test_util.h"
#include "tests/support/fake_system.h"
#include "tests/support/real_system.h"

namespace {

using repair_test::Difference;

TEST(RepairDifferential, MatchesTheModelOnSeededFiles) {
  repair_test::PassState state;
  std::mt19937 random(20240611u);
  auto next = [&] { return static_cast<std::size_t>(random()); };
  int files = 0, mismatches = 0, occurrences = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string bytes = repair_model::Build(next, 4 * 0x10000 + 64);
    std::string want = repair_model::Repair(bytes);
    FakeSystem fake;
    fake.AddFile(u"C:\\f.psd", bytes);
    int32_t result;
    {
      ScopedSystem installed(fake);
      result = RepairFile(u"C:\\f.psd");
    }
    ++files;
    occurrences += repair_model::Occurrences(bytes);
    bool same = result == 0 && fake.Contents(u"C:\\f.psd") == want &&
                fake.LogOf("WriteFile").size() ==
                    static_cast<std::size_t>(repair_model::Occurrences(bytes));
    if (!same) {
      ++mismatches;
      ADD_FAILURE() << "file " << i << " of " << bytes.size() << " bytes";
      if (mismatches > 5) break;
    }
  }
  std::printf("[ differential ] %d files, %d occurrences, %d mismatches\n", files, occurrences,
              mismatches);
  EXPECT_EQ(mismatches, 0);
}

TEST(RepairDifferential, MatchesTheModelOnRealFiles) {
  repair_test::PassState state;
  ScopedSystem installed(RealSystem());
  TempFolder folder;
  std::mt19937 random(7u);
  auto next = [&] { return static_cast<std::size_t>(random()); };
  for (int i = 0; i < 40; ++i) {
    std::string bytes = repair_model::Build(next, 3 * 0x10000 + 64);
    auto path = folder / ("f" + std::to_string(i));
    WriteBytes(path, bytes);
    ASSERT_EQ(RepairFile(Utf16Path(path).c_str()), 0);
    ASSERT_EQ(Difference(ReadBytes(path), repair_model::Repair(bytes)), "") << "file " << i;
  }
}

}  // namespace
