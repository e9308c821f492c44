#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/driver.h"
#include "settings/droplet_settings.h"
#include "settings/settings_block.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "tests/support/fake_system.h"
#include "tests/support/trace_recorder.h"

namespace {

int32_t gRunResult = 0;
int gRuns = 0;
std::string gRunTail;
const char* gRunMessage = nullptr;
std::string gRunHostName;      // the settings as the run found them
std::u16string gRunCaption;

int32_t FakeRun(char* tail, WalkProc) {
  ++gRuns;
  gRunTail = tail;
  gRunHostName = Settings.hostName;
  gRunCaption = DropletCaption;
  if (gRunMessage != nullptr) CurrentMessage = gRunMessage;
  return gRunResult;
}

std::u16string Path(std::initializer_list<std::u16string> parts) {
  std::u16string path;
  for (const std::u16string& part : parts) {
    if (!path.empty()) path += kModulePathSeparator;
    path += part;
  }
  return path;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gRunResult = 0;
    gRuns = 0;
    gRunMessage = nullptr;
    gRunHostName.clear();
    DropletCaption[0] = 0;
    WideMode = true;
    saved_ = Settings;
    Settings = DropletSettings();
    fake.modulePath = Path({u"C:", u"Tools", u"Repair.exe"});
  }
  void TearDown() override {
    WideMode = true;
    CurrentMessage = msg::kConnect;
    Settings = saved_;
  }
  int Main(std::string tail = "a.psd", const uint8_t* block = nullptr,
           size_t size = kSettingsBlockSize) {
    tail_ = tail;
    return DropletMain(nullptr, tail_.data(), FakeRun, block, ExitStyle::kWindowsDroplet, size);
  }

  FakeSystem fake;
  ScopedSystem scope{fake};
  std::string tail_;
  DropletSettings saved_;
};

TEST_F(DriverTest, ASuccessfulRunShowsNothingAndExitsWithOne) {
  TraceRecorder trace;
  EXPECT_EQ(Main("\"x y.psd\" b.psd"), 1);
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(gRunTail, "\"x y.psd\" b.psd");
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_EQ(fake.stdinReads, 1);
  EXPECT_EQ(std::u16string(DropletCaption), u"Repair");
  // The run reads the settings and the caption: both are fixed before it.
  EXPECT_EQ(gRunHostName, "Pixmantle");
  EXPECT_EQ(gRunCaption, u"Repair");
  EXPECT_TRUE(WideMode);
  std::vector<std::string> expected = {"\"x y.psd\" b.psd", "\n", "Finishing\n", "Done\n"};
  EXPECT_EQ(trace.texts(), expected);
}

TEST_F(DriverTest, AFailedRunShowsOneBoxWithItsMessageAndCode) {
  gRunMessage = msg::kOpen;
  gRunResult = 32;
  EXPECT_EQ(Main(), 1);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(U8(fake.boxes[0].text),
            "The droplet was unable to open the file for repair. Please try again. (Error code 32.)"
            "\nNo file was changed.");
  EXPECT_EQ(fake.boxes[0].caption, u"Repair");
  EXPECT_EQ(fake.stdinReads, 1);
}

TEST_F(DriverTest, TheConnectionMessageIsPresetAndOnlyTheLowBitsCount) {
  CurrentMessage = msg::kInternal;
  gRunResult = 0x00050000;  // low 16 bits zero: success
  Main();
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_STREQ(CurrentMessage, msg::kConnect);

  gRunResult = static_cast<int32_t>(0x8004FFCEu);
  Main();
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(U8(fake.boxes[0].text),
            "The droplet was unable to connect. Please try again. (Error code -50.)\n"
            "No file was changed.");
}

TEST_F(DriverTest, CaptionIsTheFileNameWithoutAnExeLikeExtension) {
  struct Case {
    std::u16string file, caption;
  } cases[] = {{u"Fix.exe", u"Fix"},       {u"Fix.EXE", u"Fix"},   {u"Repair.Exe2", u"Repair"},
               {u"Fix.doc", u"Fix.doc"},   {u"Fix.", u"Fix."},     {u"a.b.exe", u"a.b"},
               {u"NoDot", u"NoDot"},       {u"x.e", u"x"}};
  for (const Case& c : cases) {
    fake.modulePath = Path({u"C:", u"Tools", c.file});
    Main();
    EXPECT_EQ(std::u16string(DropletCaption), c.caption);
  }
}

TEST_F(DriverTest, FallsBackToTheAnsiModuleNameAndLeavesWideMode) {
  fake.wideModuleNameFails = true;
  fake.modulePath = Path({u"C:", u"Outils", u"R\u00e9parer.exe"});
  gRunResult = 5;
  Main();
  EXPECT_FALSE(WideMode);
  EXPECT_EQ(std::u16string(DropletCaption), u"R\u00e9parer");
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_FALSE(fake.boxes[0].wide);
  EXPECT_EQ(fake.boxes[0].captionA, "R\xc3\xa9parer");
}

TEST_F(DriverTest, EndsSilentlyWithoutAModulePathOrSeparator) {
  fake.wideModuleNameFails = true;
  fake.FailAt(Op::GetModuleFileNameA, 1, 5);
  EXPECT_EQ(Main(), 1);

  FakeSystem second;
  ScopedSystem inner(second);
  second.wideModuleNameFails = true;
  second.FailAt(Op::MultiByteToWideChar, 1, kErrorInvalidParameter);
  EXPECT_EQ(Main(), 1);

  FakeSystem third;
  ScopedSystem innermost(third);
  third.modulePath = u"Repair.exe";
  EXPECT_EQ(Main(), 1);

  EXPECT_EQ(gRuns, 0);
  EXPECT_TRUE(fake.boxes.empty() && second.boxes.empty() && third.boxes.empty());
  EXPECT_EQ(fake.stdinReads + second.stdinReads + third.stdinReads, 0);
}

// However deep its folder, the droplet is titled with its own name; a path
// the system could only give cut is never taken for one.
TEST_F(DriverTest, ADeepFolderKeepsTheCaptionAndACutPathEndsSilently) {
  std::u16string folder(300, u'd');
  fake.modulePath = Path({u"C:", folder, folder, u"Fix.exe"});
  Main();
  EXPECT_EQ(std::u16string(DropletCaption), u"Fix");
  EXPECT_EQ(gRuns, 1);

  DropletCaption[0] = 0;
  fake.modulePath = Path({u"C:", std::u16string(kModulePathCapacity, u'd'), u"Fix.exe"});
  EXPECT_EQ(Main(), 1);
  EXPECT_EQ(std::u16string(DropletCaption), u"");
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(ModulePath[kModulePathCapacity - 1], 0);
  fake.wideModuleNameFails = true;  // the ANSI name, cut as well
  EXPECT_EQ(Main(), 1);
  EXPECT_EQ(gRuns, 1);
  EXPECT_TRUE(fake.boxes.empty());
}

// As a Unix tool the droplet's exit value says how the run went, by the
// code's low bits (the Windows program's 1 and the real runs' 0 and 1 are
// tested elsewhere), and it reads no standard input.
TEST_F(DriverTest, AsAUnixToolTheExitValueFollowsTheCodesLowBits) {
  // A cancelled run fails as a tool's run, with no box: the user chose it.
  for (auto [result, exitValue] : {std::pair{0x00050000, 0}, {32, 1}, {kRunCancelled, 1}}) {
    gRunResult = result;
    std::string tail = "a.psd";
    EXPECT_EQ(DropletMain(nullptr, tail.data(), FakeRun, nullptr, ExitStyle::kUnixTool), exitValue);
  }
  EXPECT_EQ(fake.stdinReads, 0);
  EXPECT_EQ(fake.boxes.size(), 1u);
}

// A damaged settings block stops the droplet before the run (a good one is
// applied over the defaults: the made droplets' requests show it).
TEST_F(DriverTest, ADamagedSettingsBlockStopsTheRun) {
  DropletSettings stamped;
  stamped.hostName = "Other";
  stamped.destinationMode = 2;
  std::vector<uint8_t> block(kSettingsBlockSize);
  ASSERT_TRUE(EncodeSettingsBlock(stamped, block.data(), block.size()));
  // A block that uses more than the program's section holds is damaged too:
  // it is never read past the section.
  EXPECT_EQ(Main("a.psd", block.data(), 135), 1);
  block[20] ^= 1;  // the destination mode, under the checksum
  EXPECT_EQ(Main("a.psd", block.data()), 1);
  EXPECT_EQ(gRuns, 0);  // nothing is touched
  ASSERT_EQ(fake.boxes.size(), 2u);
  for (const auto& box : fake.boxes) {
    EXPECT_EQ(U8(box.text),
              "The droplet had an internal error. Please try again. (Error code -50.)\nNo file was "
              "changed.");
    EXPECT_EQ(box.caption, u"Repair");
  }
}

}  // namespace
