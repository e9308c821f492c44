#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"

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

}  // namespace
