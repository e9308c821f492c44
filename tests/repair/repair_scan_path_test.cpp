// Each scan path, forced, against the plain model: the candidate filter must
// never pass over an occurrence, wherever tokens, near misses and "/" bytes
// sit relative to the 64 KiB chunk borders, the carry and the end of the
// file. A path this processor cannot run is skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "repair/next_candidate.h"
#include "repair/repair_file.h"
#include "repair/scan_path.h"
#include "tests/repair/fake_repair.h"
#include "tests/repair/repair_model.h"
#include "tests/repair/repair_test_util.h"
#include "tests/support/fake_system.h"

namespace {

using repair_model::kDamaged;
using repair_model::kRepaired;
using repair_test::Difference;

constexpr std::size_t kChunk = 0x10000;

// "" when the pass over the fake System leaves want in the file, with one
// 19-byte write per occurrence; otherwise what differed.
std::string AgainstModel(const std::string& bytes, const std::string& want, int occurrences) {
  FakeRepair run = RepairOnFake(bytes);
  if (run.result != 0) return "result " + std::to_string(run.result);
  std::string differs = Difference(run.bytes, want);
  if (!differs.empty()) return differs;
  if (run.writes != static_cast<std::size_t>(occurrences))
    return std::to_string(run.writes) + " writes for " + std::to_string(occurrences) +
           " occurrences";
  return "";
}

std::string AgainstModel(const std::string& bytes) {
  return AgainstModel(bytes, repair_model::Repair(bytes), repair_model::Occurrences(bytes));
}

// A fill with placed at offset at, and what the model makes of it. The fills
// hold no part of the token but "/", so every occurrence lies inside placed
// and the model over placed alone gives the whole file's result.
struct Placed {
  std::string bytes, want;
  int occurrences;
};
Placed Place(const std::string& fill, std::size_t at, const std::string& placed) {
  Placed out{fill, fill, repair_model::Occurrences(placed)};
  out.bytes.replace(at, placed.size(), placed);
  out.want.replace(at, placed.size(), repair_model::Repair(placed));
  return out;
}

// Fill patterns: no candidate at all, and one that offers every byte the
// filter compares ("/", "-", "0") at every distance.
const std::string kFills[] = {"x", "/x0-./0-"};

std::string Filled(std::size_t size, const std::string& pattern) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = pattern[i % pattern.size()];
  return bytes;
}

// What is placed at an offset: the token alone, after a lone "/", after a
// partial match that a "/" cuts short, twice back to back; and near misses
// that differ in the last byte, in the first "-", or are the repaired token.
std::vector<std::string> Placements() {
  std::string lastDiffers = kDamaged, middleDiffers = kDamaged;
  lastDiffers.back() = '1';
  middleDiffers[10] = '+';
  return {kDamaged,
          "/" + kDamaged,
          "/Values [ --" + kDamaged,
          kDamaged + kDamaged,
          lastDiffers + "0",
          middleDiffers,
          kRepaired + "0"};
}

class RepairScanPath : public testing::TestWithParam<ScanPath> {
 protected:
  void SetUp() override {
    if (!ScanPathAvailable(GetParam()))
      GTEST_SKIP() << "this processor cannot run the " << repair_test::ScanPathName(GetParam())
                   << " path";
    forced_.emplace(GetParam());
    ASSERT_TRUE(forced_->forced());
    ASSERT_EQ(ResolvedScanPath(), GetParam());
  }
  void TearDown() override { forced_.reset(); }

  repair_test::PassState state_;
  std::optional<repair_test::ForcedScanPath> forced_;
};

// The seeded files of the differential test (the same seed and count), through
// the forced path.
TEST_P(RepairScanPath, SeededFilesMatchTheModel) {
  std::mt19937 random(20240611u);
  auto next = [&] { return static_cast<std::size_t>(random()); };
  int occurrences = 0, mismatches = 0;
  const int kFiles = 1500;
  for (int i = 0; i < kFiles && mismatches < 5; ++i) {
    std::string bytes = repair_model::Build(next, 4 * kChunk + 64);
    occurrences += repair_model::Occurrences(bytes);
    std::string differs = AgainstModel(bytes);
    if (!differs.empty()) {
      ++mismatches;
      ADD_FAILURE() << "file " << i << ": " << differs;
    }
  }
  std::printf("[ %s ] %d files, %d occurrences, %d mismatches\n",
              repair_test::ScanPathName(GetParam()), kFiles, occurrences, mismatches);
}

// Every start offset from 160 before a chunk border to 160 after it: all
// residues modulo 32 (and 128, a group of the AVX2 filter), the offsets that
// are found from the carry, and tokens that straddle the border.
TEST_P(RepairScanPath, TokensAtEveryOffsetAroundAChunkBorder) {
  const std::size_t border = kChunk;
  int failures = 0;
  for (const std::string& fill : kFills) {
    const std::string plain = Filled(border + 400, fill);
    for (const std::string& placed : Placements()) {
      for (std::size_t at = border - 160; at < border + 160 && failures < 5; ++at) {
        Placed file = Place(plain, at, placed);
        std::string differs = AgainstModel(file.bytes, file.want, file.occurrences);
        if (!differs.empty()) {
          ++failures;
          ADD_FAILURE() << "\"" << placed << "\" at " << at << " in fill \"" << fill
                        << "\": " << differs;
        }
      }
    }
  }
}

// Tokens that end at every distance up to 100 bytes from the end of short
// files of every length up to 148 (every residue of the scan's blocks), and
// up to 40 bytes from the end of files whose last chunk has every length
// from 0 to 64 (after a full chunk, so the scan starts in the carry).
TEST_P(RepairScanPath, TokensNearTheEndOfTheFile) {
  int failures = 0;
  std::string filled;
  auto check = [&](std::size_t size, std::size_t from_end, const std::string& fill,
                   const std::string& placed) {
    if (from_end + placed.size() > size || failures >= 5) return;
    Placed file = Place(filled.substr(0, size), size - from_end - placed.size(), placed);
    std::string differs = AgainstModel(file.bytes, file.want, file.occurrences);
    if (!differs.empty()) {
      ++failures;
      ADD_FAILURE() << "\"" << placed << "\" " << from_end << " bytes before the end of " << size
                    << " in fill \"" << fill << "\": " << differs;
    }
  };
  for (const std::string& fill : kFills) {
    filled = Filled(kChunk + 64, fill);
    for (std::size_t size = 19; size < 19 + 130; ++size)
      for (std::size_t from_end = 0; from_end <= 100; ++from_end)
        check(size, from_end, fill, kDamaged);
    for (std::size_t tail = 0; tail <= 64; ++tail)
      for (std::size_t from_end = 0; from_end <= 40; ++from_end)
        for (const std::string& placed : {kDamaged, "/" + kDamaged})
          check(kChunk + tail, from_end, fill, placed);
  }
}

// The finder alone, on random bytes rich in the token's bytes: from every
// start offset it stops at a "/" at or before the next occurrence, never
// passes one over, and never reads past the last start offset's last byte
// (the buffer ends exactly there, which AddressSanitizer would catch).
TEST_P(RepairScanPath, TheFinderNeverPassesAnOccurrenceOver) {
  int32_t (*next)(const uint8_t*, int32_t, int32_t) = NextCandidateWord;
#if DROPLET_X86_VECTOR_SCAN
  if (GetParam() == ScanPath::Sse2) next = NextCandidateSse2;
  if (GetParam() == ScanPath::Avx2) next = NextCandidateAvx2;
#endif
  std::mt19937 random(99u);
  const std::string alphabet = "/-0Vx /Values [ --.-00000";
  int failures = 0;
  for (int round = 0; round < 300 && failures < 5; ++round) {
    auto size = static_cast<int32_t>(19 + random() % 700);
    std::string text(static_cast<std::size_t>(size), 'x');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    for (int k = 0; k < 3; ++k) text.replace(random() % (size - 18), kDamaged.size(), kDamaged);
    std::vector<uint8_t> bytes(text.begin(), text.end());  // exactly the bytes, nothing after
    const int32_t end = size - 18;                         // start offsets 0 to size - 19
    for (int32_t at = 0; at < end; ++at) {
      int32_t got = next(bytes.data(), at, end);
      std::size_t occurrence = text.find(kDamaged, static_cast<std::size_t>(at));
      auto limit = occurrence == std::string::npos ? end : static_cast<int32_t>(occurrence);
      bool sound = got >= at && got <= limit && (got == end || text[got] == '/');
      if (!sound) {
        ++failures;
        ADD_FAILURE() << "from " << at << " of " << size << ": gave " << got << ", next at "
                      << limit;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, RepairScanPath, testing::ValuesIn(repair_test::kForcedPaths),
                         [](const testing::TestParamInfo<ScanPath>& info) {
                           return std::string(repair_test::ScanPathName(info.param));
                         });

TEST(RepairScanPathSetting, OnlyAPathTheProcessorRunsCanBeSet) {
  repair_test::ForcedScanPath restore(ScanPath::Auto);
  EXPECT_TRUE(ScanPathAvailable(ScanPath::Auto));
  EXPECT_TRUE(ScanPathAvailable(ScanPath::Word));
  for (ScanPath path : repair_test::kForcedPaths) {
    ASSERT_TRUE(SetScanPath(ScanPath::Word));
    EXPECT_EQ(SetScanPath(path), ScanPathAvailable(path)) << repair_test::ScanPathName(path);
    EXPECT_EQ(GetScanPath(), ScanPathAvailable(path) ? path : ScanPath::Word);
  }
  ASSERT_TRUE(SetScanPath(ScanPath::Auto));
  ScanPath chosen = ResolvedScanPath();
  EXPECT_NE(chosen, ScanPath::Auto);
  EXPECT_TRUE(ScanPathAvailable(chosen));
  // The fastest the processor runs.
  if (ScanPathAvailable(ScanPath::Avx2))
    EXPECT_EQ(chosen, ScanPath::Avx2);
  else if (ScanPathAvailable(ScanPath::Sse2))
    EXPECT_EQ(chosen, ScanPath::Sse2);
  else
    EXPECT_EQ(chosen, ScanPath::Word);
}

}  // namespace
