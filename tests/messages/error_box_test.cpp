#include <gtest/gtest.h>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "tests/support/fake_system.h"

namespace {

class ErrorBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WideMode = true;
    std::u16string caption = u"Repair";
    std::copy(caption.begin(), caption.end(), DropletCaption);
    DropletCaption[caption.size()] = 0;
  }
  void TearDown() override {
    WideMode = true;
    CurrentMessage = msg::kConnect;
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
       "The droplet was unable to open the file for repair. Please try again. (Error code 32.)"},
      {msg::kInternal, -50, "The droplet had an internal error. Please try again. (Error code -50.)"},
      {msg::kLaunch, static_cast<int32_t>(0x80080005u),
       "The droplet was unable to launch Pixmantle. Manually start Pixmantle and try again. "
       "(Error code 5.)"},
      {msg::kConnect, 0x0001FFFF, "The droplet was unable to connect. Please try again. (Error code -1.)"},
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
            "The droplet was unable to read the file for repair. Please try again. (Error code -41.)");
  EXPECT_EQ(fake.boxes[0].style, 0x30u);
}

TEST_F(ErrorBoxTest, StillShowsTheMessageWhenItsConversionFails) {
  fake.FailAt(Op::Allocate, 1, kErrorNotEnoughMemory);
  CurrentMessage = msg::kWrite;
  ShowErrorBox(112);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(U8(fake.boxes[0].text),
            "The droplet was unable to write the file for repair. Please try again. (Error code 112.)");
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
