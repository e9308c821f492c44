// The repair pass on real files through the platform's own System.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "repair/repair_file.h"
#include "tests/repair/repair_model.h"
#include "tests/repair/repair_test_util.h"
#include "tests/support/real_system.h"
#include "tests/support/sparse_document.h"

namespace {

using repair_test::Difference;

namespace fs = std::filesystem;
using repair_model::kDamaged;
using repair_model::kRepaired;
using repair_test::WithTokens;

class RealFile : public ::testing::Test {
 protected:
  int32_t Repair(const fs::path& file) { return RepairFile(Utf16Path(file).c_str()); }

  repair_test::PassState state_;
  ScopedSystem installed_{RealSystem()};
  TempFolder folder_;
};

TEST_F(RealFile, RepairsEveryOccurrenceAndNothingElse) {
  const std::string K = kDamaged, R = kRepaired;
  struct Case {
    const char* name;
    std::string before, after;
  } cases[] = {
      {"empty", "", ""},
      {"shorter than the token", K.substr(0, 18), K.substr(0, 18)},
      {"the token alone", K, R},
      {"exactly one chunk, token at 0 and ending it",
       WithTokens(65536, {0, 65517}, K), WithTokens(65536, {0, 65517}, R)},
      {"worked example", WithTokens(70000, {65530}, K), WithTokens(70000, {65530}, R)},
      {"straddling the border", WithTokens(70000, {65517, 65536 + 19}, K),
       WithTokens(70000, {65517, 65536 + 19}, R)},
      {"starting at the border", WithTokens(140000, {65536, 131072 - 1}, K),
       WithTokens(140000, {65536, 131072 - 1}, R)},
      {"back to back", "a" + K + K + K + "b", "a" + R + R + R + "b"},
      {"ending the file after a full chunk", WithTokens(131072, {131053}, K),
       WithTokens(131072, {131053}, R)},
      {"ending a short last chunk", WithTokens(70000, {69981}, K),
       WithTokens(70000, {69981}, R)},
      {"after //", "//" + K.substr(1) + " " + "//" + K.substr(1), "/" + R + " /" + R},
      {"after a partial match", "/Values [ -" + K + "x", "/Values [ -" + R + "x"},
      {"partial match at the border", WithTokens(65536 + 100, {65530, 65540}, K),
       WithTokens(65536 + 100, {65530, 65540}, R)},
  };
  // The partial match at 65530 is cut short by the occurrence at 65540.
  cases[12].before.replace(65530, 19, K.substr(0, 10) + K.substr(0, 9));
  cases[12].after = cases[12].before;
  cases[12].after.replace(65540, 19, R);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = folder_ / "doc.psd";
    WriteBytes(file, c.before);
    EXPECT_EQ(Repair(file), 0);
    EXPECT_EQ(Difference(ReadBytes(file), c.after), "");
    EXPECT_EQ(Difference(c.after, repair_model::Repair(c.before)), "");
  }
}

TEST_F(RealFile, NearMissesAreLeftAlone) {
  const char* misses[] = {"/values [ --.-00000", "/Values [ --.-00001", "/Values  [--.-00000",
                          "/Values [ -- -00000", "/Values\t[ --.-00000", "/Values [ --.-0000O",
                          "\\Values [ --.-00000", "/Values [ ++.-00000", "/VALUES [ --.-00000"};
  std::string bytes;
  for (const char* miss : misses) bytes += std::string(miss) + "\n";
  bytes += kDamaged.substr(0, 18);  // the file ends one byte short of a token
  fs::path file = folder_ / "near.psd";
  WriteBytes(file, bytes);
  EXPECT_EQ(Repair(file), 0);
  EXPECT_EQ(Difference(ReadBytes(file), bytes), "");
}

TEST_F(RealFile, ARepairedFileIsNotWrittenAgain) {
  fs::path file = folder_ / "twice.psd";
  std::string bytes = WithTokens(200000, {5, 65530, 131070, 199981}, kDamaged);
  WriteBytes(file, bytes);
  ASSERT_EQ(Repair(file), 0);
  std::string once = ReadBytes(file);
  EXPECT_EQ(Difference(once, WithTokens(200000, {5, 65530, 131070, 199981}, kRepaired)), "");
  auto old = fs::last_write_time(file) - std::chrono::hours(30);
  fs::last_write_time(file, old);
  ASSERT_EQ(Repair(file), 0);
  EXPECT_EQ(Difference(ReadBytes(file), once), "");
  EXPECT_EQ(fs::last_write_time(file), old);
  EXPECT_EQ(fs::file_size(file), 200000u);
}

TEST_F(RealFile, AFileHeldOpenElsewhereIsRefusedAndUnchanged) {
  fs::path file = folder_ / "busy.psd";
  std::string bytes = "x" + kDamaged + "y";
  WriteBytes(file, bytes);
  // Another exclusive opener (natively it takes the lock; on Windows the share mode).
  SysHandle other = RealSystem().CreateFileW(Utf16Path(file).c_str(), kGenericRead | kGenericWrite,
                                             0, kOpenExisting, 0);
  ASSERT_NE(other, kInvalidHandle);
  EXPECT_EQ(Repair(file), 32);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  RealSystem().CloseHandle(other);
  EXPECT_EQ(Difference(ReadBytes(file), bytes), "");
  EXPECT_EQ(Repair(file), 0);  // and once it is let go, the repair goes through
  EXPECT_EQ(Difference(ReadBytes(file), "x" + kRepaired + "y"), "");
}

TEST_F(RealFile, MissingFileAndFolderFailAtTheOpen) {
  fs::path missing = folder_ / "missing.psd";
  EXPECT_EQ(Repair(missing), 2);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  EXPECT_FALSE(fs::exists(missing));

  fs::path dir = folder_ / "folder.psd";
  fs::create_directory(dir);
  CurrentMessage = msg::kConnect;
  EXPECT_EQ(Repair(dir), 5);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
}

// Wine started by root opens files with root's Unix rights, so the read-only
// attribute keeps no writer out there (Windows and POSIX do).
bool ReadOnlyIsEnforced() {
#ifdef _WIN32
  bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  char user[64] = {};
  DWORD size = sizeof user;
  return !(wine && GetUserNameA(user, &size) && std::string(user) == "root");
#else
  return true;
#endif
}

TEST_F(RealFile, AReadOnlyFileFailsAtTheOpenUnchanged) {
  if (!ReadOnlyIsEnforced()) GTEST_SKIP() << "read-only files are writable here";
  fs::path locked = folder_ / "locked.psd";
  WriteBytes(locked, kDamaged + "z");
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(locked, write, fs::perm_options::remove);
  EXPECT_EQ(Repair(locked), 5);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  EXPECT_EQ(Difference(ReadBytes(locked), kDamaged + "z"), "");
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);  // so it can go
}

#ifndef _WIN32
TEST_F(RealFile, AFifoIsRefusedWithoutBlocking) {
  fs::path fifo = folder_ / "pipe.psd";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(Repair(fifo), 5);  // a blocking open would hang here: no writer
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
}

#endif

// Positions are 64-bit: every token of a 5 GiB document is repaired, on both
// sides of 2 GiB and 4 GiB and at the very end, and nothing else changes.
TEST_F(RealFile, AFiveGibSparseDocumentIsRepairedThroughout) {
  namespace doc = sparse_document;
  if (doc::kTooSlowHere) GTEST_SKIP() << "a 5 GiB pass is left to the optimised builds";
  doc::Document document(folder_.path(), kDamaged);
  ASSERT_TRUE(document.made);
  const fs::path& file = document.file;
  ASSERT_EQ(fs::file_size(file), doc::kSize);

  EXPECT_EQ(Repair(file), 0);
  EXPECT_STREQ(CurrentMessage, msg::kConnect);  // no message stored
  for (uint64_t at : doc::kTokens) {
    SCOPED_TRACE(at);
    std::string want = doc::Around(kRepaired, at);
    EXPECT_EQ(doc::BytesAt(file, at - 8, static_cast<uint32_t>(want.size())), want);
  }
  EXPECT_EQ(fs::file_size(file), doc::kSize);
}

}  // namespace
