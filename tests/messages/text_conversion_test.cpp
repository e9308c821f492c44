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

// Every Linux name comes back byte for byte; a surrogate without a partner
// is never replaced, and never written as bytes that read as another name.
TEST(ToWideFixed, LoneSurrogatesFollowTheCodecsOneRule) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  struct Case {
    std::u16string wide;
    std::string bytes;
    bool readsBack;  // the bytes widen to the same units
  } cases[] = {
      {{u'a', 0xDCC3, 0xDCC3, 0x00E9}, "a\xc3\xc3\xc3\xa9", true},  // stray lead bytes
      {{0xDCED, 0xDCA0, 0xDC80}, "\xed\xa0\x80", true},  // a surrogate's bytes in a Linux name
      {{0xD83D, 0xDE00}, "\xf0\x9f\x98\x80", true},            // a pair
      {{u'x', 0xD800}, "x\xed\xa0\x80", false},  // not a byte: its three-byte form, not "?"
      {{0xDC01}, "\xed\xb0\x81", false},
      // Written as bytes, these two would read as U+00E9: a different name.
      {{u'a', 0xDCC3, 0xDCA9, u'b', 0xDCFF}, "a\xed\xb3\x83\xed\xb2\xa9" "b\xff", false},
  };
  for (const Case& c : cases) {
    char bytes[32];
    int n = fake.WideCharToMultiByte(kCodePageAnsi, 0, c.wide.c_str(), -1, bytes, sizeof bytes);
    ASSERT_EQ(n, static_cast<int>(c.bytes.size()) + 1) << c.bytes;
    EXPECT_EQ(std::string(bytes), c.bytes);
    char16_t wide[32];
    ASSERT_EQ(ToWideFixed(bytes, wide, 32), 0);
    EXPECT_EQ(std::u16string(wide) == c.wide, c.readsBack) << c.bytes;
  }
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
