// The long form of a path: which components are replaced, and the bounds
// of the 256-unit work path.
#include <gtest/gtest.h>

#include <string>

#include "driver/file_arguments.h"
#include "tests/support/fake_system.h"

namespace {

class LongPath : public ::testing::Test {
 protected:
  LongPath() : scope_(fake) {}

  // Expands path in a path buffer whose tail is marked, and checks the mark.
  std::u16string Expand(const std::u16string& path) {
    std::u16string buffer(kPathCapacity + 8, u'#');
    std::copy(path.begin(), path.end(), buffer.begin());
    buffer[path.size()] = 0;
    ExpandLongPath(buffer.data());
    EXPECT_EQ(buffer.substr(kPathCapacity), std::u16string(8, u'#'));
    return std::u16string(buffer.c_str());
  }

  FakeSystem fake;
  ScopedSystem scope_;
};

TEST_F(LongPath, FirstComponentIsNeverReplaced) {
  fake.AddFolder(u"D:\\Data");
  EXPECT_EQ(Expand(u"d:\\DATA"), u"d:\\Data");
  EXPECT_EQ(Expand(u"d:"), u"d:");
}

TEST_F(LongPath, ComponentNotFoundStaysAndLaterOnesAreStillLookedUp) {
  fake.AddFolder(u"D:\\Scans");
  EXPECT_EQ(Expand(u"D:\\NOPE\\SCANS\\x.psd"), u"D:\\NOPE\\SCANS\\x.psd");
  EXPECT_EQ(fake.LogOf("FindFirstFileW"),
            (std::vector<std::string>{"FindFirstFileW D:", "FindFirstFileW D:\\NOPE",
                                      "FindFirstFileW D:\\NOPE\\SCANS",
                                      "FindFirstFileW D:\\NOPE\\SCANS\\x.psd"}));
  EXPECT_EQ(fake.LogOf("FindClose").size(), 1u);  // only the drive was found
}

TEST_F(LongPath, ForwardSlashIsAnOrdinaryCharacter) {
  fake.AddFolder(u"D:\\a");
  EXPECT_EQ(Expand(u"D:\\A/b"), u"D:\\A/b");
  EXPECT_EQ(fake.Calls(Op::FindFirstFileW), 2);
}

TEST_F(LongPath, WildcardsResolveToTheFirstMatch) {
  fake.AddFile(u"D:\\Scans\\second.psd");
  fake.AddFile(u"D:\\Scans\\first.psd");
  fake.AddFile(u"D:\\Scans\\notes.txt");
  EXPECT_EQ(Expand(u"D:\\scans\\*.psd"), u"D:\\Scans\\second.psd");
  EXPECT_EQ(Expand(u"D:\\sc?ns\\n*"), u"D:\\Scans\\notes.txt");
}

TEST_F(LongPath, WithoutDirectorySearchNothingChanges) {
  fake.AddFolder(u"D:\\Program Files", u"PROGRA~1");
  for (int i = 1; i <= 8; ++i) fake.FailAt(Op::FindFirstFileW, i, kErrorInvalidParameter);
  EXPECT_EQ(Expand(u"D:\\PROGRA~1\\x.psd"), u"D:\\PROGRA~1\\x.psd");
  EXPECT_EQ(fake.Calls(Op::FindClose), 0);
}

// A prefix of 200 units whose last component (12 units) has a stored name
// of 60 units is refused although the new prefix would be 248 units long.
TEST_F(LongPath, ReplacementCountsTheWholePrefix) {
  std::u16string folder(184, u'f');
  std::u16string shortName = u"ABCDEF~1.PSD";  // 12 units
  ASSERT_EQ(3 + folder.size() + 1 + shortName.size(), 200u);
  fake.AddFile(u"D:\\" + folder + u"\\" + std::u16string(60, u'n'), "", shortName);
  fake.AddFile(u"D:\\" + folder + u"\\" + std::u16string(54, u'm'), "", u"GHIJKL~1.PSD");
  EXPECT_EQ(Expand(u"D:\\" + folder + u"\\" + shortName), u"D:\\" + folder + u"\\" + shortName);
  // 200 + 54 + 2 = 256 is not more than 256: replaced.
  EXPECT_EQ(Expand(u"D:\\" + folder + u"\\GHIJKL~1.PSD"),
            u"D:\\" + folder + u"\\" + std::u16string(54, u'm'));
}

TEST_F(LongPath, FinalPartIsCutToTheRoom) {
  std::u16string folder(246, u'f');  // "D:\" + folder + "\" = 250 units
  EXPECT_EQ(Expand(u"D:\\" + folder + u"\\0123456789"), u"D:\\" + folder + u"\\0123");
  std::u16string plain(300, u'p');
  EXPECT_EQ(Expand(plain), plain.substr(0, 254));
}

TEST_F(LongPath, FullWorkPathAtASeparatorIsCutThere) {
  std::u16string folder(251, u'f');  // "D:\" + folder = 254 units
  EXPECT_EQ(Expand(u"D:\\" + folder + u"\\x\\y.psd"), u"D:\\" + folder);
  std::u16string longer(400, u'g');
  EXPECT_EQ(Expand(u"D:\\" + longer + u"\\x.psd"), (u"D:\\" + longer).substr(0, 254));
  // 253 units leave room for the separator; what follows gets no room.
  std::u16string almost(250, u'h');
  EXPECT_EQ(Expand(u"D:\\" + almost + u"\\x\\y.psd"), u"D:\\" + almost + u"\\");
}

TEST_F(LongPath, LongestPathBufferIsHandled) {
  std::u16string path(511, u'\\');
  EXPECT_LE(Expand(path).size(), 254u);
}

}  // namespace
