#include <gtest/gtest.h>

#include <string>

#include "driver/command_tail.h"
#include "tests/support/fake_system.h"

namespace {

std::string Tail(std::string commandLine) {
  return CommandLineTail(commandLine.data());
}

TEST(CommandLineTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  EXPECT_EQ(Tail("droplet.exe a.psd b.psd"), "a.psd b.psd");
  EXPECT_EQ(Tail("droplet.exe\ta.psd"), "a.psd");
  EXPECT_EQ(Tail("droplet.exe \t \x01\x1f a.psd  "), "a.psd  ");
  EXPECT_EQ(Tail("droplet.exe"), "");
  EXPECT_EQ(Tail("droplet.exe   "), "");
  EXPECT_EQ(Tail(""), "");
}

TEST(CommandLineTail, AQuotedProgramNameMayHoldSpacesAndTabs) {
  EXPECT_EQ(Tail("\"C:\\My Tools\\droplet.exe\" \"D:\\a b.psd\""), "\"D:\\a b.psd\"");
  EXPECT_EQ(Tail("\"C:\\T\tools\\d.exe\"x.psd"), "");  // still the name
  EXPECT_EQ(Tail("\"C:\\T\tools\\d.exe\" x.psd"), "x.psd");
  EXPECT_EQ(Tail("C:\\\"My Tools\"\\droplet.exe a.psd"), "a.psd");
  EXPECT_EQ(Tail("\"C:\\unterminated a.psd"), "");
}

TEST(CommandLineTail, OnlyTheSpaceAndTabEndTheProgramName) {
  EXPECT_EQ(Tail("droplet.exe\na.psd"), "");  // a line feed is part of the name
  EXPECT_EQ(Tail("droplet.exe \na.psd"), "a.psd");
}

TEST(CommandLineTail, HighBytesAfterTheNameStayPartOfTheFirstArgument) {
  EXPECT_EQ(Tail("droplet.exe \xe9t\xe9.psd"), "\xe9t\xe9.psd");
  EXPECT_EQ(Tail("droplet.exe \xa0x.psd"), "\xa0x.psd");
}

// The Windows start-up hands the walk the wide command line as UTF-8: names
// outside any ANSI code page arrive whole, never as "?" or a look-alike.
TEST(CommandLineToUtf8, EveryNameArrivesExactly) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  const char16_t wide[] = u"\"C:\\Tools\\drop let.exe\" \u0444\u0430\u0439\u043b.psd "
                          u"\"D:\\\u0101.psd\" \U0001F600.psd caf\u00e9.psd";
  char* utf8 = CommandLineToUtf8(wide);
  ASSERT_NE(utf8, nullptr);
  EXPECT_STREQ(CommandLineTail(utf8),
               "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.psd \"D:\\\xc4\x81.psd\" "
               "\xf0\x9f\x98\x80.psd caf\xc3\xa9.psd");
  fake.Release(utf8);

  // A lone surrogate gets a form that strict UTF-8 decoding refuses: its
  // three bytes, or, for U+DC80..U+DCFF, the stray byte it stands for, unless
  // those bytes would read as another character.
  const char16_t lone[] = {u'x', 0xD800, u' ', 0xDC01, u' ', 0xDCE9, u' ', 0xDCC3, 0xDCA9, 0};
  utf8 = CommandLineToUtf8(lone);
  ASSERT_NE(utf8, nullptr);
  EXPECT_STREQ(utf8, "x\xed\xa0\x80 \xed\xb0\x81 \xe9 \xed\xb3\x83\xed\xb2\xa9");
  fake.Release(utf8);
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

// Start-up allocations that fail give no copy (the start-up then ends with
// 1 and no box) rather than an exception.
TEST(StartUpTail, NoMemoryGivesNoTail) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  fake.FailAt(Op::Allocate, 1, kErrorNotEnoughMemory);
  fake.FailAt(Op::Allocate, 2, kErrorNotEnoughMemory);
  EXPECT_EQ(CommandLineToUtf8(u"droplet.exe a.psd"), nullptr);
  char program[] = "droplet", a[] = "a.psd";
  char* argv[] = {program, a, nullptr};
  int refused = -1;
  EXPECT_EQ(TailFromArguments(2, argv, &refused), nullptr);
  EXPECT_EQ(refused, 0);
}

TEST(StartUpTail, ArgumentsAreQuotedUnlessTheyHoldAQuote) {
  FakeSystem fake;
  ScopedSystem scope(fake);
  char program[] = "droplet", spaced[] = "/tmp/my docs/a.psd", quote[] = "/tmp/a\"b.psd",
       empty[] = "";
  char* argv[] = {program, spaced, quote, empty, nullptr};
  int refused = -1;
  char* tail = TailFromArguments(4, argv, &refused);
  ASSERT_NE(tail, nullptr);
  EXPECT_STREQ(tail, "\"/tmp/my docs/a.psd\" /tmp/a\"b.psd \"\"");
  fake.Release(tail);

  char* none[] = {program, nullptr};
  tail = TailFromArguments(1, none, &refused);
  ASSERT_NE(tail, nullptr);
  EXPECT_STREQ(tail, "");
  fake.Release(tail);

  char leading[] = "\"a.psd", both[] = "a \"b.psd";
  for (char* arg : {leading, both}) {
    char* bad[] = {program, spaced, arg, nullptr};
    EXPECT_EQ(TailFromArguments(3, bad, &refused), nullptr);
    EXPECT_EQ(refused, 2);
  }
  EXPECT_EQ(fake.LiveAllocations(), 0);
}

}  // namespace
