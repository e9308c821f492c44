// Two small helpers over UTF-16 texts that every layer needs: how long a
// text is, within the buffer that holds it, and the ASCII case fold that
// Windows' ordinal case-blind names use.
#pragma once

#include <climits>

// Units before the terminator, never looking past capacity units.
inline int TextLength(const char16_t* text, int capacity = INT_MAX) {
  int n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

// An ASCII letter in upper case; every other unit as it is.
inline char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}
