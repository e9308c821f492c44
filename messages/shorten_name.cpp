#include "messages/shorten_name.h"

#include <cstring>

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026
constexpr size_t kEllipsisBytes = sizeof kEllipsis - 1;

// Not a continuation byte: a character starts here (or the text ends).
bool Lead(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// The name's last component, from its separator on; the name's end when
// it has none.
size_t LastComponent(const char* name, size_t length) {
  size_t at = length;
  while (at > 0 && name[at - 1] != '\\' && name[at - 1] != '/') --at;
  return at > 0 ? at - 1 : length;
}

}  // namespace

int ShortenName(const char* name, int room, NameCut cut, char* out, int capacity) {
  if (capacity < 4) {
    if (capacity > 0) out[0] = 0;
    return 0;
  }
  if (room > capacity - 4) room = capacity - 4;
  if (room < 0) room = 0;
  const size_t length = std::strlen(name);
  const size_t limit = static_cast<size_t>(room);
  if (length <= limit) {
    std::memcpy(out, name, length + 1);
    return static_cast<int>(length);
  }
  size_t head = 0;  // bytes kept of the start
  size_t tail = 0;  // where the kept end starts
  if (cut == NameCut::kStart) {
    tail = length - limit;
  } else {
    // The end kept whole: a kFolder name's last component.
    size_t whole = cut == NameCut::kFolder ? length - LastComponent(name, length) : 0;
    if (whole + 2 > limit && limit > 2) {
      // Too long itself: an ellipsis for the folders, then the component
      // cut in its middle.
      std::memcpy(out, kEllipsis, kEllipsisBytes);
      const int n = static_cast<int>(kEllipsisBytes);
      return n +
             ShortenName(name + length - whole, room - 2, NameCut::kMiddle, out + n, capacity - n);
    }
    size_t keep = limit > 2 + whole ? (limit - 2 - whole) / 2 : 0;  // of each end of the rest
    head = keep;
    while (head > 0 && !Lead(name[head])) --head;
    tail = length - whole - keep;
  }
  while (tail < length && !Lead(name[tail])) ++tail;
  std::memcpy(out, name, head);
  std::memcpy(out + head, kEllipsis, kEllipsisBytes);
  std::memcpy(out + head + kEllipsisBytes, name + tail, length - tail + 1);
  return static_cast<int>(head + kEllipsisBytes + length - tail);
}
