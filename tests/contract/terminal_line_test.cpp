// The progress line on a terminal: never wider than its row, nothing a
// terminal would act on, so that rewriting it in place leaves no rows behind.
#include "system/terminal_line.h"

#include <gtest/gtest.h>

#include <string>

TEST(TerminalLine, FitsTheRowAndShowsControlsEscaped) {
  struct Case {
    const char* what;
    std::string text;
    size_t columns;
    std::string shown;
  };
  const std::string wide = "\xE6\x96\x87\xE6\x9B\xB8";  // two ideographs, two columns each
  const std::string emoji = "\xF0\x9F\x93\x84";          // a page, two columns
  for (const Case& c : std::initializer_list<Case>{
           {"plain text is kept", "Checking a.psd", 80, "Checking a.psd"},
           {"cut at the row", "abcdef", 4, "abcd"},
           {"wide characters count two", "a" + wide, 5, "a" + wide},
           {"a wide character at the cut is left out", "a" + wide, 4, "a" + wide.substr(0, 3)},
           {"an emoji counts two", emoji + "x", 2, emoji},
           {"accents count one each", "caf\xC3\xA9.psd", 8, "caf\xC3\xA9.psd"},
           {"a newline", "a\nb.psd", 80, "a\\nb.psd"},
           {"tab and carriage return", "a\tb\rc", 80, "a\\tb\\rc"},
           {"an escape sequence", "x\x1B[2Jy\x7F", 80, "x\\x1B[2Jy\\x7F"},
           {"an escape is not cut in two", "ab\x1B", 4, "ab"},
           {"C1 controls", "a\xC2\x85" "b\xC2\x9B" "c", 80, "a\\u0085b\\u009Bc"},
           {"a right-to-left override", "gpj.\xE2\x80\xAE" "exe", 80, "gpj.\\u202Eexe"},
           {"invalid bytes", "a\xFF\xC3(\xED\xA0\x80", 80, "a\\xFF\\xC3(\\xED\\xA0\\x80"},
           {"an overlong form", "\xC0\xAF", 80, "\\xC0\\xAF"},
           {"a sequence cut at the end", "ab\xE6\x96", 80, "ab\\xE6\\x96"},
           {"no room at all", "abc", 0, ""},
       }) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TerminalLine(c.text, c.columns), c.shown);
  }
}
