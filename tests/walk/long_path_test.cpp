// The long form of a path: which components are replaced, and the bounds
// of the 256-unit work path.
#include <gtest/gtest.h>

#include <string>

#include "driver/file_arguments.h"
#include "driver/long_path.h"
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

// A wildcard matches other entries; none of them is the part's own.
TEST_F(LongPath, WildcardsAreNeverResolved) {
  fake.AddFile(u"D:\\Scans\\second.psd");
  fake.AddFile(u"D:\\Scans\\first.psd", "", u"FIRST~1.PSD");
  fake.AddFile(u"D:\\Scans\\notes.txt");
  EXPECT_EQ(Expand(u"D:\\scans\\*.psd"), u"D:\\Scans\\*.psd");
  EXPECT_EQ(Expand(u"D:\\sc?ns\\n*"), u"D:\\sc?ns\\n*");
  EXPECT_EQ(Expand(u"D:\\scans\\FIRST~?.PSD"), u"D:\\Scans\\FIRST~?.PSD");
  EXPECT_EQ(Expand(u"D:\\scans\\FIRST~1.PSD"), u"D:\\Scans\\first.psd");  // its own short name
}

// The search answers for the path as the system normalises it; a part it
// answers with another entry's name stays as given, and the parts around it
// are still expanded.
TEST_F(LongPath, PartsTheSystemNormalisesStayAsGiven) {
  fake.AddFile(u"D:\\docs\\a.psd");
  fake.AddFile(u"D:\\docs\\sub\\a.psd");
  struct Case {
    std::u16string given, expanded;
  } cases[] = {
      {u"D:\\DOCS\\sub/A.PSD", u"D:\\docs\\sub/A.PSD"},
      {u"D:\\DOCS\\.\\A.PSD", u"D:\\docs\\.\\a.psd"},
      {u"D:\\DOCS\\SUB\\..\\A.PSD", u"D:\\docs\\sub\\..\\a.psd"},
      {u"D:\\DOCS\\A.PSD.", u"D:\\docs\\A.PSD."},
      {u"D:\\DOCS\\A.PSD  ", u"D:\\docs\\A.PSD  "},
      {u"D:\\DOCS\\SUB.\\A.PSD", u"D:\\docs\\SUB.\\a.psd"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.given), c.expanded) << U8(c.given);
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

// A long form that does not fit the work path is never cut to fit: the
// path stays exactly as given, whether the final part lacks room or the
// work path is full at a separator.
TEST_F(LongPath, ALongFormThatDoesNotFitLeavesThePathAsGiven) {
  std::u16string folder(246, u'f');  // "D:\\" + folder + "\\" = 250 units
  std::u16string plain(300, u'p');
  std::u16string full(251, u'f');  // "D:\\" + full = 254 units
  std::u16string longer(400, u'g');
  std::u16string almost(250, u'h');  // 253 units: room for the separator only
  for (const std::u16string& path :
       {u"D:\\" + folder + u"\\0123456789", plain, u"D:\\" + full + u"\\x\\y.psd",
        u"D:\\" + longer + u"\\x.psd", u"D:\\" + almost + u"\\x\\y.psd"})
    EXPECT_EQ(Expand(path), path);

  // A short name whose long form leaves the final part no room.
  fake.AddFile(u"D:\\" + std::u16string(240, u'L') + u"\\document.psd", "", u"");
  fake.Find(u"D:\\" + std::u16string(240, u'L'))->shortName = u"LLLLLL~1";
  EXPECT_EQ(Expand(u"D:\\LLLLLL~1\\document.psd"), u"D:\\LLLLLL~1\\document.psd");
  EXPECT_EQ(Expand(u"D:\\LLLLLL~1\\doc.psd"), u"D:\\" + std::u16string(240, u'L') + u"\\doc.psd");
}

TEST_F(LongPath, LongestPathBufferIsHandled) {
  std::u16string path(511, u'\\');
  EXPECT_EQ(Expand(path), path);
}

}  // namespace
