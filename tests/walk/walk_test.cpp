// The file-argument walk: how the tail splits, which paths reach the repair
// and the host's list, and where the walk stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/file_arguments.h"
#include "driver/folder_walk.h"
#include "messages/messages.h"
#include "messages/progress.h"
#include "messages/run_tally.h"
#include "settings/droplet_settings.h"
#include "tests/support/fake_system.h"
#include "tests/support/recording_host.h"
#include "tests/support/trace_recorder.h"

namespace {

const std::string kDamaged = "/Values [ --.-00000";
const std::string kRepaired = "/Values [ 1.0000000";

class Walk : public ::testing::Test {
 protected:
  Walk() : scope_(fake) {
    CurrentMessage = msg::kConnect;
    CurrentFile = nullptr;
    host.MakeList(&list);
    host.calls.clear();
  }
  ~Walk() override { CurrentFile = nullptr; }  // it pointed into tail_

  // Walks tail and gives back the paths added to the list.
  std::vector<std::string> WalkOf(std::string tail, int32_t* result = nullptr) {
    tail_ = std::move(tail);  // kept: CurrentFile points into it
    int32_t r = WalkFileArguments(tail_.data(), list);
    if (result != nullptr) *result = r;
    std::vector<std::string> paths;
    for (const std::string& call : host.calls)
      if (call.rfind("L1.AddPathItem ", 0) == 0) paths.push_back(call.substr(15));
    return paths;
  }

  std::string tail_;
  FakeSystem fake;
  ScopedSystem scope_;
  RecordingHost host;
  HostList* list = nullptr;
  TraceRecorder traces;
};

using Paths = std::vector<std::string>;

TEST_F(Walk, EmptyOrBlankTailListsNothing) {
  int32_t result = -7;
  EXPECT_EQ(WalkOf("", &result), Paths{});
  EXPECT_EQ(result, 0);
  EXPECT_EQ(WalkOf("     ", &result), Paths{});
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(fake.LogOf("CreateFile").empty());
}

TEST_F(Walk, RunsOfSpacesSeparateAndTabsDoNot) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\b.psd", "plain");
  EXPECT_EQ(WalkOf("   C:\\a.psd    C:\\b.psd   "), (Paths{"C:\\a.psd", "C:\\b.psd"}));
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);

  // A tab is part of the path: one token naming a file in a folder "a.psd<TAB>C:".
  fake.AddFile(u"C:\\a.psd\tC:\\c.psd", kDamaged);
  host.calls.clear();
  EXPECT_EQ(WalkOf("C:\\a.psd\tC:\\c.psd"), Paths{"C:\\a.psd\tC:\\c.psd"});
  EXPECT_EQ(fake.Contents(u"C:\\a.psd\tC:\\c.psd"), kRepaired);
}

TEST_F(Walk, QuotedPathIsUsedUnchangedWithoutDirectorySearch) {
  fake.AddFile(u"D:\\My Scans\\a.psd", kDamaged, u"A~1.PSD");
  EXPECT_EQ(WalkOf("\"D:\\My Scans\\A~1.PSD\""), Paths{"D:\\My Scans\\A~1.PSD"});
  EXPECT_EQ(fake.Calls(Op::FindFirstFileW), 0);
  EXPECT_EQ(fake.Contents(u"D:\\My Scans\\a.psd"), kRepaired);
}

TEST_F(Walk, ClosingQuoteFollowedDirectlyByAnUnquotedPath) {
  fake.AddFile(u"D:\\x y\\a.psd", "a");
  fake.AddFile(u"D:\\b.psd", "b");
  EXPECT_EQ(WalkOf("\"D:\\x y\\a.psd\"D:\\B.PSD"), (Paths{"D:\\x y\\a.psd", "D:\\b.psd"}));
}

TEST_F(Walk, QuoteInsideAnUnquotedTokenStaysInIt) {
  fake.AddFile(u"D:\\a\"b.psd", "x");
  EXPECT_EQ(WalkOf("D:\\a\"b.psd"), Paths{"D:\\a\"b.psd"});
}

TEST_F(Walk, MissingClosingQuoteRunsToTheEnd) {
  fake.AddFile(u"D:\\a b.psd  c", "x");
  EXPECT_EQ(WalkOf("\"D:\\a b.psd  c"), Paths{"D:\\a b.psd  c"});
}

TEST_F(Walk, EmptyQuotesGiveAnEmptyPathForTheRepair) {
  int32_t result = 0;
  EXPECT_EQ(WalkOf("\"\"", &result), Paths{});
  EXPECT_NE(result, 0);  // the repair cannot open ""
  EXPECT_TRUE(traces.Has(""));
  host.calls.clear();
  EXPECT_EQ(WalkOf("\"", &result), Paths{});
  EXPECT_NE(result, 0);
}

TEST_F(Walk, ShortNamesAreExpandedToStoredNames) {
  fake.AddFolder(u"D:\\Program Files", u"PROGRA~1");
  fake.AddFolder(u"D:\\Program Files\\Scans");
  fake.AddFile(u"D:\\Program Files\\Scans\\a.psd", kDamaged, u"A~1.PSD");
  EXPECT_EQ(WalkOf("D:\\PROGRA~1\\SCANS\\A.PSD"), Paths{"D:\\Program Files\\Scans\\a.psd"});
  // k backslashes, k + 1 searches, shortest prefix first.
  EXPECT_EQ(fake.LogOf("FindFirstFileW"),
            (std::vector<std::string>{"FindFirstFileW D:", "FindFirstFileW D:\\PROGRA~1",
                                      "FindFirstFileW D:\\Program Files\\SCANS",
                                      "FindFirstFileW D:\\Program Files\\Scans\\A.PSD"}));
  EXPECT_EQ(fake.Calls(Op::FindClose), 4);
  EXPECT_EQ(fake.Contents(u"D:\\Program Files\\Scans\\a.psd"), kRepaired);
}

// The host runs in a folder of its own: it receives full paths, made from
// the current folder as the open resolves them, and the file opened is the
// file listed. The name itself is not looked up: its letters stay as typed.
TEST_F(Walk, RelativeNamesAreListedAsTheFullPathsThatWereOpened) {
  fake.AddFile(u"C:\\Stored.psd", kDamaged);
  EXPECT_EQ(WalkOf("stored.psd"), Paths{"C:\\stored.psd"});
  EXPECT_EQ(fake.Contents(u"C:\\Stored.psd"), kRepaired);

  fake.currentFolder = u"D:\\work";
  fake.AddFile(u"D:\\work\\b.psd", kDamaged);
  fake.AddFile(u"D:\\b.psd", kDamaged);  // where the host would look from its own folder "D:"
  host.calls.clear();
  EXPECT_EQ(WalkOf("sub\\..\\b.psd \"./b.psd\""), (Paths{"D:\\work\\b.psd", "D:\\work\\b.psd"}));
  EXPECT_EQ(fake.LogOf("CreateFileW D:\\work\\b.psd").size(), 2u);
  EXPECT_EQ(fake.Contents(u"D:\\b.psd"), kDamaged);
}

// A relative name whose full path does not fit is refused with 206, and
// named as the user gave it.
TEST_F(Walk, ARelativeNameTooLongOnceFullIsRefused) {
  int32_t result = 0;
  fake.currentFolder = u"C:\\" + std::u16string(kPathCapacity - 8, u'f');
  EXPECT_EQ(WalkOf("name.psd", &result), Paths{});
  EXPECT_EQ(result, 206);
  EXPECT_STREQ(CurrentFile, "name.psd");
}

TEST_F(Walk, ThreeFilesSecondFailsRepair) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\c.psd", kDamaged);
  int32_t result = 0;
  EXPECT_EQ(WalkOf("C:\\a.psd C:\\missing.psd C:\\c.psd", &result), Paths{"C:\\a.psd"});
  EXPECT_EQ(result, 2);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\c.psd"), kDamaged);
  for (const std::string& line : fake.log) EXPECT_EQ(line.find("c.psd"), std::string::npos);
}

// A token that cannot be converted is reported like a file that cannot be
// opened, with the conversion's error; earlier files stay repaired.
TEST_F(Walk, ThreeFilesSecondFailsConversion) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\b.psd", kDamaged);
  fake.AddFile(u"C:\\c.psd", kDamaged);
  // Each token costs a length query and a conversion; the second token's
  // length query fails.
  int before = fake.Calls(Op::MultiByteToWideChar);
  std::string first = "C:\\a.psd";
  ASSERT_EQ(WalkOf(first), Paths{first});
  int perToken = fake.Calls(Op::MultiByteToWideChar) - before;
  fake.AddFile(u"C:\\a.psd", kDamaged);
  host.calls.clear();
  fake.FailAt(Op::MultiByteToWideChar, fake.Calls(Op::MultiByteToWideChar) + perToken + 1,
              kErrorNoUnicodeTranslation);
  int32_t result = -1;
  EXPECT_EQ(WalkOf("C:\\a.psd C:\\b.psd C:\\c.psd", &result), Paths{"C:\\a.psd"});
  EXPECT_EQ(result, 1113);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\b.psd"), kDamaged);
  EXPECT_EQ(fake.Contents(u"C:\\c.psd"), kDamaged);
  // Tokens are UTF-8, converted strictly.
  EXPECT_EQ(fake.wideningCodePage, kCodePageUtf8);
  EXPECT_EQ(fake.wideningFlags, kErrInvalidChars);
}

// A token that does not fit the token buffer is reported as a name too
// long (206), never skipped: the files after it are not touched.
TEST_F(Walk, TokenThatDoesNotFitIsReportedAsTooLong) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\b.psd", kDamaged);
  std::string huge = "C:\\" + std::string(kTokenCapacity - 3, 'x');  // one byte too many
  int32_t result = -1;
  EXPECT_EQ(WalkOf("C:\\a.psd \"" + huge + "\" C:\\b.psd", &result), Paths{"C:\\a.psd"});
  EXPECT_EQ(result, 206);
  EXPECT_STREQ(CurrentMessage, msg::kOpen);
  EXPECT_EQ(fake.Contents(u"C:\\a.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\b.psd"), kDamaged);

  // One byte less fits the token buffer and reaches the repair.
  std::string largest = huge.substr(0, kTokenCapacity - 1);
  host.calls.clear();
  EXPECT_EQ(WalkOf("\"" + largest + "\"", &result), Paths{});
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(traces.Has(largest));
}

// Beside each trap lies the file that a loose reading of the name would
// reach. The named file is repaired and listed as the system resolves it,
// or one failure names it; the decoy never changes.
TEST_F(Walk, NamesTheSystemNormalisesReachTheNamedFile) {
  struct Trap {
    std::string token;
    std::u16string named, decoy;
  } traps[] = {
      {"C:\\docs\\sub/a.psd", u"C:\\docs\\sub\\a.psd", u"C:\\docs\\a.psd"},
      {"C:\\docs\\.\\b.psd", u"C:\\docs\\b.psd", u"C:\\docs\\docs\\b.psd"},
      {"C:\\docs\\sub\\..\\c.psd", u"C:\\docs\\c.psd", u"C:\\docs\\sub\\docs\\c.psd"},
  };
  for (const Trap& t : traps) {
    SCOPED_TRACE(t.token);
    fake.AddFile(t.named, kDamaged);
    fake.AddFile(t.decoy, kDamaged);
    host.calls.clear();
    int32_t result = -1;
    EXPECT_EQ(WalkOf(t.token, &result), Paths{U8(t.named)});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(fake.Contents(t.named), kRepaired);
    EXPECT_EQ(fake.Contents(t.decoy), kDamaged);
  }
}

TEST_F(Walk, WildcardsAndDevicesFailTheOpenAndNothingElseIsTouched) {
  fake.AddFile(u"C:\\w\\x.psd", kDamaged);  // what "?.psd" or "*.psd" would match
  struct Trap {
    std::string token;
    int32_t code;
  } traps[] = {{"C:\\w\\?.psd", 123}, {"C:\\w\\*.psd", 123}, {"C:\\w\\nul", 5}, {"C:\\w\\COM1", 5}};
  for (const Trap& t : traps) {
    SCOPED_TRACE(t.token);
    int32_t result = 0;
    EXPECT_EQ(WalkOf(t.token, &result), Paths{});
    EXPECT_EQ(result, t.code);
    EXPECT_STREQ(CurrentMessage, msg::kOpen);
    EXPECT_TRUE(fake.LogOf("ReadFile").empty());
  }
  EXPECT_EQ(fake.Contents(u"C:\\w\\x.psd"), kDamaged);
}

// Where the long form would not fit, the name is used as given; the file
// whose name the cut would have made stays as it is.
TEST_F(Walk, LongFormsThatDoNotFitAreUsedAsGiven) {
  std::u16string longFolder = u"C:\\" + std::u16string(240, u'L');
  fake.AddFolder(longFolder, u"LLLLLL~1");
  fake.AddFile(longFolder + u"\\document.psd", kDamaged);
  fake.AddFile(longFolder + u"\\document.p", kDamaged);  // the final part cut to the room
  std::string g252(252, 'g');
  fake.AddFile(u"C:\\" + U16(g252) + u"\\x.psd", kDamaged);
  fake.AddFile(u"C:\\" + U16(g252.substr(0, 251)), kDamaged);  // the folder cut to the room

  std::string shortPath = "C:\\LLLLLL~1\\document.psd";
  std::string longPath = "C:\\" + g252 + "\\x.psd";
  int32_t result = -1;
  EXPECT_EQ(WalkOf(shortPath + " " + longPath, &result), (Paths{shortPath, longPath}));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(fake.Contents(longFolder + u"\\document.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(u"C:\\" + U16(g252) + u"\\x.psd"), kRepaired);
  EXPECT_EQ(fake.Contents(longFolder + u"\\document.p"), kDamaged);
  EXPECT_EQ(fake.Contents(u"C:\\" + U16(g252.substr(0, 251))), kDamaged);
}

TEST_F(Walk, TraceOrderPerFile) {
  fake.AddFile(u"C:\\a.psd", "x");
  WalkOf("C:\\a.psd");
  const std::vector<std::string>& t = traces.texts();
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t[0], "C:\\a.psd");
  EXPECT_EQ(t[1], "\n");
  EXPECT_EQ(t.back(), "Adding path\n");
}

TEST_F(Walk, PathStringThatCannotBeMadeIsNeverListed) {
  fake.AddFile(u"C:\\a.psd", kDamaged);
  fake.AddFile(u"C:\\b.psd", kDamaged);
  fake.FailAt(Op::SysAllocString, 1, 0);
  int32_t result = 0;
  EXPECT_EQ(WalkOf("C:\\a.psd C:\\b.psd", &result), Paths{});
  EXPECT_EQ(result, -41);
  EXPECT_STREQ(CurrentMessage, msg::kOutOfMemory);
  EXPECT_EQ(fake.Contents(u"C:\\b.psd"), kDamaged);
}

// With recursive on, a folder stands for its files: depth first, each
// folder in name order, a subfolder's files where its name falls; hidden and
// system entries and links are neither listed nor followed.
class Folders : public Walk {
 protected:
  Folders() : saved_(Settings) { Settings.recursive = true; }
  ~Folders() override { Settings = saved_; }
  // Names under C:\d joined as the platform joins a found file's path.
  static std::string D(std::string names) {
    for (char& c : names) c = c == '\\' ? static_cast<char>(kModulePathSeparator) : c;
    return In("C:\\d", names);
  }
  static std::string In(const std::string& folder, const std::string& name) {
    return folder + static_cast<char>(kModulePathSeparator) + name;
  }
  DropletSettings saved_;
};

TEST_F(Folders, AFolderStandsForItsFilesInOrder) {
  for (const char* name : {"a.psd", "b.psd", "B2.psd", "m\\x.psd", "m\\n\\y.psd", "z.psd",
                           "hidden.psd", "system.psd", "link\\l.psd"})
    fake.AddFile(u"C:\\d\\" + U16(name), kDamaged);
  fake.AddFolder(u"C:\\d\\empty");
  fake.Find(u"C:\\d\\hidden.psd")->extraAttributes = kAttributeHidden;
  fake.Find(u"C:\\d\\system.psd")->extraAttributes = kAttributeSystem;
  fake.Find(u"C:\\d\\link")->extraAttributes = kAttributeReparsePoint;
  fake.AddFile(u"C:\\last.psd", kDamaged);
  int32_t result = -1;
  // Ordinal: blind to case on Windows, by bytes on Linux. With no lists held
  // on the way down, m is listed again after its subfolder; d, whose own list
  // never counts, is listed once.
  bool blind = kModulePathSeparator == u'\\';
  size_t budget = HeldListsBudget;
  for (size_t held : {budget, size_t(0)}) {
    HeldListsBudget = held;
    host.calls.clear();
    EXPECT_EQ(WalkOf("\"C:\\d\" C:\\last.psd", &result),
              (Paths{D(blind ? "a.psd" : "B2.psd"), D(blind ? "b.psd" : "a.psd"),
                     D(blind ? "B2.psd" : "b.psd"), D("m\\n\\y.psd"), D("m\\x.psd"), D("z.psd"),
                     "C:\\last.psd"}));
    EXPECT_EQ(result, 0);
  }
  HeldListsBudget = budget;
  EXPECT_EQ(fake.LogOf("RewindFolder").size(), 1u);
  for (const char* name : {"hidden.psd", "system.psd", "link\\l.psd"})
    EXPECT_EQ(fake.Contents(u"C:\\d\\" + U16(name)), kDamaged) << name;
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

// Cancel is heard while a long folder is listed, not only once it is: the
// rest of it is neither read nor touched, and nothing names a failure.
TEST_F(Folders, CancelStopsTheListingOfALongFolder) {
  fake.AddSparseFile(u"C:\\d\\a.psd", 9 << 20, {{5 << 20, kDamaged}});  // slow: the dialog shows
  for (int i = 0; i < 3000; ++i)
    fake.AddFile(u"C:\\d\\e\\" + U16(std::to_string(10000 + i)) + u".psd", kDamaged);
  fake.ticksPerRead = 100;
  fake.cancelAt = 2;  // asked before e is listed, then within its listing
  ResetTally();
  ProgressBegin();
  int32_t result = -1;
  EXPECT_EQ(WalkOf("C:\\d", &result), Paths{D("a.psd")});
  ProgressEnd();
  EXPECT_EQ(result, kRunCancelled);
  EXPECT_EQ(fake.Calls(Op::ReadFolder), 3 + 1024);  // d's two entries and its end, then e's
  EXPECT_EQ(Tally.failures, 0u);
  EXPECT_EQ(fake.Contents(u"C:\\d\\e\\10000.psd"), kDamaged);
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

// A failing step of the enumeration, or a path over capacity, is a failure
// naming that folder or path; with keep-going the walk goes on past it.
TEST_F(Folders, FailuresNameTheFolderOrPathAndKeepGoingGoesOn) {
  // Folders of up to 200 units (a name holds at most 259) down to one of
  // kPathCapacity - 12 units, which holds a.psd but not long-name.psd.
  std::string q = "C:\\d", qLong;
  while (q.size() < static_cast<size_t>(kPathCapacity) - 12)
    q = In(q, "q" + std::string(std::min<size_t>(199, kPathCapacity - 14 - q.size()), 'f'));
  std::string longName = In(q, "long-name.psd"), qa = In(q, "a.psd");
  for (char c : q) qLong += c == static_cast<char>(kModulePathSeparator) ? '\\' : c;
  // Subfolders opened: m, then the long ones.
  const struct {
    Op op;
    int nth;
    bool keepGoing;
    Paths listed;
    int32_t code;
    std::string named;
  } cases[] = {
      {Op::OpenSubfolder, 1, false, {D("a.psd")}, 5, D("m")},
      {Op::OpenSubfolder, 1, true, {D("a.psd"), qa, D("z.psd")}, 5, D("m")},
      {Op::ReadFolder, 1, false, {}, 59, "C:\\d"},
      {Op::Count, 0, false, {D("a.psd"), D("m\\x.psd"), qa}, 206, longName},
      {Op::Count, 0, true, {D("a.psd"), D("m\\x.psd"), qa, D("z.psd")}, 206, longName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named + (c.keepGoing ? " (keep going)" : ""));
    FakeSystem local;
    ScopedSystem scope(local);
    for (const std::string& name : Paths{"C:\\d\\a.psd", "C:\\d\\m\\x.psd", "C:\\d\\z.psd",
                                         qLong + "\\a.psd", qLong + "\\long-name.psd"})
      local.AddFile(U16(name), kDamaged);
    if (c.op != Op::Count) local.FailAt(c.op, c.nth, c.code);
    Settings.keepGoing = c.keepGoing;
    ResetTally();
    host.calls.clear();
    int32_t result = -1;
    EXPECT_EQ(WalkOf("\"C:\\d\"", &result), c.listed);
    EXPECT_EQ(result, c.keepGoing ? 0 : c.code);
    EXPECT_EQ(Tally.failures, c.keepGoing && c.op != Op::Count ? 2u : 1u);
    EXPECT_EQ(Tally.failed[0].code, c.code);
    EXPECT_STREQ(Tally.failed[0].message, msg::kOpen);
    EXPECT_EQ(std::string(Tally.failed[0].path), c.named);
    EXPECT_EQ(local.Contents(u"C:\\d\\z.psd"), c.keepGoing ? kRepaired : kDamaged);
  }
}

// What the walk reaches is what it listed, inside the tree, each file once:
// a folder or file swapped for a link after the listing is passed over; a
// file reached again (a folder named twice, a file inside it, a second name
// of one file) is repaired, counted and sent once. Names go in byte order
// on Linux, in case-blind unit order on Windows.
TEST_F(Folders, TheWalkStaysInsideItsTreeTakesEachFileOnceInOrder) {
  bool windows = kModulePathSeparator == u'\\';
  const struct {
    const char* what;
    std::string tail;
    std::function<void(FakeSystem&)> setUp;
    Paths sent;
  } cases[] = {
      {"swapped for links",
       "\"C:\\d\"",
       [](FakeSystem& f) {
         f.beforeWalk = [&f](Op op) {
           if (op != Op::OpenFileInFolder || f.Find(u"C:\\d\\c.psd")->extraAttributes != 0) return;
           f.AddLink(u"C:\\d\\b_sub", true);
           f.AddLink(u"C:\\d\\c.psd");
         };
       },
       {D("a.psd")}},
      {"reached twice",
       "\"C:\\d\" C:\\d \"C:\\d\\a.psd\"",
       [](FakeSystem& f) { f.AddHardLink(u"C:\\d\\a.psd", u"C:\\d\\h.psd"); },
       {D("a.psd"), D("b_sub\\x.psd"), D("c.psd")}},
      {"name order", "\"C:\\n\"",
       [](FakeSystem& f) {
         for (const char* name :
              {"\xEF\xBC\x81", "\xF0\x9F\x98\x80", "\xEE\x80\x80", "z\xEF\xBC\x81", "za"})
           f.AddFile(u"C:\\n\\" + U16(name), kDamaged);
       },
       windows ? Paths{"C:\\n\\za", "C:\\n\\z\xEF\xBC\x81", "C:\\n\\\xF0\x9F\x98\x80",
                       "C:\\n\\\xEE\x80\x80", "C:\\n\\\xEF\xBC\x81"}
               : Paths{"C:\\n/za", "C:\\n/z\xEF\xBC\x81", "C:\\n/\xEE\x80\x80",
                       "C:\\n/\xEF\xBC\x81", "C:\\n/\xF0\x9F\x98\x80"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSystem local;
    ScopedSystem scope(local);
    for (const char* name : {"a.psd", "b_sub\\x.psd", "c.psd"})
      local.AddFile(u"C:\\d\\" + U16(name), kDamaged);
    c.setUp(local);
    ResetTally();
    host.calls.clear();
    int32_t result = -1;
    EXPECT_EQ(WalkOf(c.tail, &result), c.sent);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Tally.files, c.sent.size());
    EXPECT_EQ(local.LiveAllocations(), 0);
  }
}

}  // namespace
