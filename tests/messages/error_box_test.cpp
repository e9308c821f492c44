#include <gtest/gtest.h>

#include "messages/error_box.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "tests/support/fake_system.h"

namespace {

class ErrorBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WideMode = true;
    CurrentFile = nullptr;
    FilesChanged = false;
    ResetTally();
    HostStage = RequestStage::kConnecting;
    std::u16string caption = u"Repair";
    std::copy(caption.begin(), caption.end(), DropletCaption);
    DropletCaption[caption.size()] = 0;
  }
  void TearDown() override {
    WideMode = true;
    CurrentMessage = msg::kConnect;
    CurrentFile = nullptr;
    FilesChanged = false;
    ResetTally();
  }
  FakeSystem fake;
  ScopedSystem scope{fake};
};

TEST_F(ErrorBoxTest, ShowsTheStoredMessageWithTheCodeInOneWarningBox) {
  struct Case {
    const char* message;
    int32_t result;
    const char* shown;
  } cases[] = {
      {msg::kOpen, 32,
       "The droplet was unable to open the file for repair. Please try again. (Error code 32.)\n"
       "No file was changed."},
      {msg::kInternal, -50,
       "The droplet had an internal error. Please try again. (Error code -50.)\nNo file was "
       "changed."},
      {msg::kLaunch, static_cast<int32_t>(0x80080005u),
       "The droplet was unable to launch Pixmantle. Manually start Pixmantle and try again. "
       "(Error code 5.)\nNo file was changed."},
      {msg::kConnect, 0x0001FFFF,
       "The droplet was unable to connect. Please try again. (Error code -1.)\nNo file was changed."},
  };
  for (const Case& c : cases) {
    fake.boxes.clear();
    CurrentMessage = c.message;
    ShowErrorBox(c.result);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(fake.boxes[0].wide);
    EXPECT_EQ(U8(fake.boxes[0].text), c.shown);
    EXPECT_EQ(fake.boxes[0].caption, u"Repair");
    EXPECT_EQ(fake.boxes[0].style, 0x30u);
  }
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

TEST_F(ErrorBoxTest, WithoutWideCallsTheAnsiBoxGetsConvertedTexts) {
  WideMode = false;
  std::u16string caption = u"R\u00e9paration";
  std::copy(caption.begin(), caption.end(), DropletCaption);
  DropletCaption[caption.size()] = 0;
  CurrentMessage = msg::kRead;
  ShowErrorBox(-41);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_FALSE(fake.boxes[0].wide);
  EXPECT_EQ(fake.boxes[0].captionA, "R\xc3\xa9paration");
  EXPECT_EQ(fake.boxes[0].textA,
            "The droplet was unable to read the file for repair. Please try again. (Error code "
            "-41.)\nNo file was changed.");
  EXPECT_EQ(fake.boxes[0].style, 0x30u);
}

TEST_F(ErrorBoxTest, StillShowsTheMessageWhenItsConversionFails) {
  fake.FailAt(Op::Allocate, 1, kErrorNotEnoughMemory);
  CurrentMessage = msg::kWrite;
  ShowErrorBox(112);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(U8(fake.boxes[0].text),
            "The droplet was unable to write the file for repair. Please try again. (Error code "
            "112.)\nNo file was changed.");
}

// The box's last line says what became of the files (repaired before the
// failing one, or it was written in part) and of the request.
TEST_F(ErrorBoxTest, EndsWithWhatBecameOfTheFilesAndTheRequest) {
  using S = RequestStage;
  const char* nothingSent = "; nothing was sent to the host editor.";
  struct Case {
    const char* message;
    const char* file;
    int repaired;
    bool changed;
    S stage;
    std::string context;
    uint32_t failed = 0;  // files a walk went on past
    uint32_t sound = 0;   // files that needed no repair
  } cases[] = {
      {msg::kOpen, "c.psd", 2, false, S::kListing,
       std::string("2 files before this one were repaired in place") + nothingSent},
      {msg::kWrite, "c.psd", 0, true, S::kListing, std::string("No other file was changed") + nothingSent},
      {msg::kOutOfMemory, nullptr, 2, true, S::kListing,
       std::string("2 files were repaired in place") + nothingSent},
      {msg::kConnect, nullptr, 3, false, S::kClosed,
       "The host editor closed while taking the request; it may have received part of it. 3 "
       "files were repaired in place."},
      {msg::kOutOfMemory, nullptr, 1, true, S::kListing,
       std::string("1 file was repaired in place; 1 could not be repaired") + nothingSent, 1},
      {msg::kOpen, "c.psd", 1, false, S::kListing,
       std::string("1 file before this one was repaired in place and 3 needed no repair") +
           nothingSent,
       0, 3},
      {msg::kOpen, "c.psd", 0, false, S::kListing,
       std::string("No file was changed (1 file before this one needed no repair)") + nothingSent,
       0, 1},
  };
  for (const Case& c : cases) {
    fake.boxes.clear();
    CurrentMessage = c.message;
    CurrentFile = c.file;
    Tally.files = c.repaired + c.sound + c.failed;
    Tally.damagedFiles = c.repaired;
    Tally.failures = c.failed;
    FilesChanged = c.changed;
    HostStage = c.stage;
    ShowErrorBox(0x800706BE);
    ASSERT_EQ(fake.boxes.size(), 1u);
    std::string text = U8(fake.boxes[0].text);
    text = text.substr(0, text.find("\n\nThese could not be repaired:"));  // the list after
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), c.context);
  }
}

// Below the message, in plain words, why the file failed, where the code
// alone leaves it open; a reason that names the file stands for its line.
TEST_F(ErrorBoxTest, SaysWhyInPlainWordsOnALineBelowTheMessage) {
  const bool windows = kFileBelowMessage;
  fake.AddFolder(u"C:\\archive");
  fake.AddFile(u"C:\\locked.psd").readOnly = true;
  fake.AddFile(u"C:\\plain.psd");
  struct Case {
    const char* message;
    int32_t code;
    const char* file;
    bool walked;
    std::string reason;  // the lines between the message's and the context's
  } cases[] = {
      {msg::kOpen, 2, "C:\\gone.psd", false,
       "The file was not found; it may have been moved, renamed or deleted."},
      {msg::kOpen, 5, "C:\\archive", false,
       windows ? "C:\\archive is a folder. Drop it on \"Repair folders\" or \"Check documents\" "
                 "to work on the documents in it."
               : "C:\\archive is a folder; use -r to work on the documents in it."},
      {msg::kOpen, 5, "C:\\archive", true,
       "Access to the folder was denied: your account may not open it."},
      {msg::kWrite, 5, "C:\\locked.psd", false,
       windows ? "The file is read-only. Clear Read-only in its Properties, then try again."
               : "The file is read-only. Make it writable (chmod u+w), then try again."},
      {msg::kOpen, 5, "C:\\plain.psd", false,
       "Access to the file was denied: your account may not change it."},
      {msg::kCheckRead, 5, "C:\\locked.psd", false,
       "Access to the file was denied: your account may not read it."},
      {msg::kOpen, 33, "C:\\plain.psd", false,
       "Another program is using the file. Close it there, then try again."},
      {msg::kWrite, 112, "C:\\plain.psd", false,
       "The disk is full. Free some space on it, then try again."},
      {msg::kOpen, 223, "C:\\plain.psd", false,
       "The file is larger than the system lets a program open or write."},
      {msg::kOpen, 123, "C:\\a\\name.", false,
       windows ? "Its name ends in a dot or a space, which Windows programs cannot open. Rename "
                 "it, then try again."
               : ""},
      {msg::kConnect, static_cast<int32_t>(0x80004002u), nullptr, false,
       sizeof(void*) == 8 ? "The host editor may be registered for 32-bit programs only. Use the "
                            "32-bit droplet (the x86 download) instead."
                          : "The host editor may be registered for 64-bit programs only. Use the "
                            "64-bit droplet (the x64 download) instead."},
      {msg::kRead, 29, "C:\\plain.psd", false, ""},  // the code says it all
  };
  for (const Case& c : cases) {
    fake.boxes.clear();
    CurrentMessage = c.message;
    CurrentFile = c.file;
    FoldersWalked = c.walked;
    ShowErrorBox(c.code);
    ASSERT_EQ(fake.boxes.size(), 1u);
    std::string text = U8(fake.boxes[0].text);
    size_t from = text.find('\n') + 1, to = text.rfind('\n');
    std::string between = to > from ? text.substr(from, to - from) : "";
    std::string fileLine = c.file != nullptr && windows && c.reason.find(c.file) != 0
                               ? std::string(c.file) + (c.reason.empty() ? "" : "\n")
                               : "";
    EXPECT_EQ(between, fileLine + c.reason) << c.code << " " << text;
  }
  FoldersWalked = false;
}

// A path too long for the box keeps its file name whole, and the start and
// the end of its folders around an ellipsis, cut between whole characters;
// the message stays as it is.
TEST_F(ErrorBoxTest, ShortensALongPathInItsFolders) {
  CurrentMessage = msg::kOpen;
  std::string longName = "C:\\start";
  for (int i = 0; i < kBoxTextCapacity; ++i) longName += "\xc3\xa9";
  longName += "\\end.psd";
  CurrentFile = longName.c_str();
  ShowErrorBox(206);
  ASSERT_EQ(fake.boxes.size(), 1u);
  std::u16string text = fake.boxes[0].text;
  EXPECT_LT(text.size(), static_cast<size_t>(kBoxTextCapacity));
  size_t ellipsis = text.find(u'\u2026');
  ASSERT_NE(ellipsis, std::u16string::npos);
  EXPECT_EQ(text.find(u'\ufffd'), std::u16string::npos);
  std::string shown = U8(text);
  size_t below = shown.find('\n') + 1;  // the file's line, the reason's, the context's
  std::string line = kFileBelowMessage ? shown.substr(below, shown.find('\n', below) - below)
                                       : shown.substr(0, shown.find(": The droplet"));
  EXPECT_EQ(shown.substr(shown.rfind('\n') + 1), "No file was changed.");
  EXPECT_EQ(line.rfind("C:\\start\xc3\xa9", 0), 0u) << line;
  EXPECT_EQ(line.substr(line.size() - 10), "\xc3\xa9\\end.psd");
  EXPECT_NE(shown.find("(Error code 206.)"), std::string::npos);
}

TEST(FormatMessageText, CutsALongTextToItsCapacity) {
  char16_t out[12];
  std::fill(std::begin(out), std::end(out), u'#');
  FormatMessageText(u"Error code %d and more", -32768, out, 10);
  EXPECT_EQ(std::u16string(out), u"Error cod");
  EXPECT_EQ(out[10], u'#');
  FormatMessageText(u"100%% (%d)", 7, out, 12);
  EXPECT_EQ(std::u16string(out), u"100% (7)");
}

TEST(FailureCode, NeverReportsAFailureAsSuccess) {
  EXPECT_EQ(FailureCode(32), 32);
  EXPECT_EQ(FailureCode(0x80080005u), 5);
  EXPECT_EQ(FailureCode(0x8007FFCEu), -50);
  EXPECT_EQ(FailureCode(0), -1);
  EXPECT_EQ(FailureCode(0x80040000u), -1);
}

}  // namespace
