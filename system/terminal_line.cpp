#include "system/terminal_line.h"

#include <cstdint>
#include <cstdio>

namespace {

struct Range {
  uint32_t first, last;
};

// Characters a terminal draws two columns wide: the East Asian wide and
// full-width ones and the emoji shown as pictures, by whole blocks. Our own
// table rather than wcwidth: that answers by the locale and the C library's
// age, and says nothing at all in the "C" locale. Counting a narrow one as
// wide only ends the line a little early; the reverse would wrap it.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x4DBF},   {0x4E00, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1AFF0, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F2FF}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB},
    {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x3FFFD},
};

// Shown escaped: C1 controls, and format characters that are invisible or
// reorder what follows them (a name could hide or reverse its extension).
constexpr Range kEscaped[] = {
    {0x0080, 0x009F}, {0x061C, 0x061C}, {0x200B, 0x200F}, {0x2028, 0x202E},
    {0x2060, 0x206F}, {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFB},
};

template <size_t N>
bool In(const Range (&table)[N], uint32_t c) {
  for (const Range& r : table)
    if (c >= r.first && c <= r.last) return true;
  return false;
}

// The length of the valid UTF-8 sequence at s (n bytes left) and its code
// point, or 0 when it is not one (overlong, a surrogate, past U+10FFFF, cut).
size_t Decode(const unsigned char* s, size_t n, uint32_t* c) {
  unsigned char b = s[0];
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (b < 0x80) {
    *c = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    *c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    *c = b & 0x0F;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    *c = b & 0x07;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (n < length || s[1] < low || s[1] > high) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    *c = (*c << 6) | (s[i] & 0x3F);
  }
  return length;
}

}  // namespace

std::string TerminalLine(const std::string& text, size_t columns) {
  std::string out;
  size_t used = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t at = 0; at < text.size();) {
    uint32_t c = 0;
    size_t length = Decode(s + at, text.size() - at, &c);
    char escape[12] = {};
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02X", s[at]);
      length = 1;
    } else if (c == '\n' || c == '\t' || c == '\r') {
      std::snprintf(escape, sizeof escape, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
    } else if (In(kEscaped, c)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    }
    size_t width = escape[0] != 0 ? std::char_traits<char>::length(escape) : In(kWide, c) ? 2 : 1;
    if (used + width > columns) break;
    used += width;
    if (escape[0] != 0)
      out += escape;
    else
      out.append(text, at, length);
    at += length;
  }
  return out;
}
