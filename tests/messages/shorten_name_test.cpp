#include "messages/shorten_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "a\u00e9\u20ac\u00e9z": a (byte 0), two bytes, three bytes, two bytes, z (byte 8).
const char* const kMixed = "a\xc3\xa9\xe2\x82\xac\xc3\xa9z";

TEST(ShortenName, CutsBetweenWholeCharactersWhereAsked) {
  struct Case {
    NameCut cut;
    int room;
    const char* name;
    const char* shown;
  } cases[] = {
      {NameCut::kMiddle, 9, "short.psd", "short.psd"},
      {NameCut::kMiddle, 9, "abcdefghij", "abc\xe2\x80\xa6hij"},        // 3 bytes of each end
      {NameCut::kMiddle, 8, kMixed, "a\xc3\xa9\xe2\x80\xa6\xc3\xa9z"},  // ends on whole characters
      {NameCut::kMiddle, 6, kMixed, "a\xe2\x80\xa6z"},                  // start backs, end moves on
      {NameCut::kMiddle, 2, kMixed, "\xe2\x80\xa6"},  // no room: the ellipsis only
      // The file name stays whole; the folders are cut in their middle.
      {NameCut::kFolder, 14, "C:\\abcdef\\01.psd", "C:\xe2\x80\xa6" "ef\\01.psd"},
      {NameCut::kFolder, 9, "C:\\abcdef\\01.psd", "\xe2\x80\xa6\\01.psd"},  // no room for folders
      {NameCut::kFolder, 9, "a/0123456789", "\xe2\x80\xa6/0\xe2\x80\xa6" "89"},  // nor for the name
      {NameCut::kFolder, 8, "abcdefghij", "abc\xe2\x80\xa6hij"},   // no folder: as kMiddle
      {NameCut::kStart, 12, "dir/name.psd", "dir/name.psd"},
      {NameCut::kStart, 8, "dir/name.psd", "\xe2\x80\xa6name.psd"},  // the last 8 bytes
      {NameCut::kStart, 5, kMixed, "\xe2\x80\xa6\xc3\xa9z"},         // moves on past the euro
  };
  for (const Case& c : cases) {
    char out[32];
    int n = ShortenName(c.name, c.room, c.cut, out, sizeof out);
    EXPECT_EQ(std::string(out), c.shown) << c.name << " in " << c.room;
    EXPECT_EQ(n, static_cast<int>(std::string(c.shown).size()));
  }
}

}  // namespace
