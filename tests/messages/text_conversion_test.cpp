#include <gtest/gtest.h>

#include <string>

#include "messages/text_conversion.h"
#include "tests/support/fake_system.h"
#include "tests/support/trace_recorder.h"

namespace {

TEST(ToWideAlloc, PutsASecondTerminatorAndAGuardBehindTheText) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  char16_t* wide = nullptr;
  ASSERT_EQ(ToWideAlloc("ab", &wide), 0);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(fake.LogOf("Allocate"), std::vector<std::string>{"Allocate 38"});  // 19 units
  const char16_t expected[] = {u'a', u'b', 0, 0, u'*', u'*', u'*', u'*'};
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), wide));
  fake.Release(wide);

  char16_t* none = wide;
  EXPECT_EQ(ToWideAlloc(nullptr, &none), 0);
  EXPECT_EQ(none, nullptr);
}

TEST(ToWideAlloc, EachFailureHasItsCodeAndLeavesTheResultAlone) {
  char16_t marker = 0;
  struct Case {
    Op op;
    int nth;
    int code;
  } cases[] = {{Op::MultiByteToWideChar, 1, 1}, {Op::Allocate, 1, 2}, {Op::MultiByteToWideChar, 2, 3}};
  for (const Case& c : cases) {
    FakeSystem fake;
    ScopedSystem scope(fake);
    fake.FailAt(c.op, c.nth, kErrorInvalidParameter);
    char16_t* result = &marker;
    EXPECT_EQ(ToWideAlloc("text", &result), c.code);
    EXPECT_EQ(result, &marker);
    EXPECT_EQ(fake.LiveAllocations(), 0);
  }
}

TEST(ToWideFixed, RefusesATextThatDoesNotFitAndWritesNothing) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  std::u16string out(600, u'#');
  std::string fits(511, 'x');
  EXPECT_EQ(ToWideFixed(fits.c_str(), out.data(), 512), 0);
  EXPECT_EQ(out[510], u'x');
  EXPECT_EQ(out[511], 0);
  EXPECT_EQ(out[512], u'#');

  std::u16string untouched(600, u'#');
  std::string tooLong(512, 'y');  // 513 units with the terminator
  EXPECT_EQ(ToWideFixed(tooLong.c_str(), untouched.data(), 512), 1);
  EXPECT_EQ(untouched, std::u16string(600, u'#'));

  EXPECT_EQ(ToWideFixed(nullptr, out.data(), 512), 0);
  EXPECT_EQ(out[0], 0);

  fake.FailAt(Op::MultiByteToWideChar, fake.Calls(Op::MultiByteToWideChar) + 2, kErrorInvalidParameter);
  EXPECT_EQ(ToWideFixed("abc", out.data(), 512), 2);
}

TEST(ToWideFixed, KeepsBytesThatAreNotUtf8ThroughTheRoundTrip) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  const char name[] = "caf\xe9-\xc3\xa9.psd";  // Latin-1 byte, then real UTF-8
  char16_t wide[64];
  ASSERT_EQ(ToWideFixed(name, wide, 64), 0);
  EXPECT_EQ(wide[3], 0xDCE9);
  EXPECT_EQ(wide[5], 0x00E9);
  char back[64];
  ASSERT_GT(fake.WideCharToMultiByte(kCodePageAnsi, 0, wide, -1, back, sizeof back), 0);
  EXPECT_STREQ(back, name);
}

TEST(ToNarrowTrace, TracesThePathInTheAnsiCodePage) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  TraceRecorder trace;
  ToNarrowTrace(u"C:\\Scans\\\u00e9t\u00e9.psd");
  ASSERT_EQ(trace.texts().size(), 1u);
  EXPECT_EQ(trace.texts()[0], "C:\\Scans\\\xc3\xa9t\xc3\xa9.psd");
}

}  // namespace
