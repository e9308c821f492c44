#include "messages/shorten_name.h"

#include <cstring>

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026
constexpr size_t kEllipsisBytes = sizeof kEllipsis - 1;

// Not a continuation byte: a character starts here (or the text ends).
bool Lead(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

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
  if (cut == NameCut::kMiddle) {
    size_t keep = limit > 2 ? (limit - 2) / 2 : 0;
    head = keep;
    while (head > 0 && !Lead(name[head])) --head;
    tail = length - keep;
  } else {
    tail = length - limit;
  }
  while (tail < length && !Lead(name[tail])) ++tail;
  std::memcpy(out, name, head);
  std::memcpy(out + head, kEllipsis, kEllipsisBytes);
  std::memcpy(out + head + kEllipsisBytes, name + tail, length - tail + 1);
  return static_cast<int>(head + kEllipsisBytes + length - tail);
}
