#include "messages/message_box.h"

#include <cstring>

#include "messages/process_state.h"
#include "messages/shorten_name.h"
#include "system/system.h"
#include "system/text16.h"

int ShowBox(const char16_t* text, uint32_t style) {
  if (WideMode) return Sys().MessageBoxW(text, DropletCaption, style);
  char caption[256] = {};
  static char narrow[kSummaryTextCapacity * 3];
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, DropletCaption, -1, caption, sizeof caption) == 0)
    caption[0] = 0;
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, text, -1, narrow, sizeof narrow) == 0)
    narrow[0] = 0;
  caption[sizeof caption - 1] = 0;
  narrow[sizeof narrow - 1] = 0;
  return Sys().MessageBoxA(narrow, caption, style);
}

void AppendText(const char16_t* text, char16_t* out, int* used, int capacity) {
  int n = TextLength(text, capacity - 1 - *used);
  std::memcpy(out + *used, text, static_cast<size_t>(n) * sizeof(char16_t));
  *used += n;
  out[*used] = 0;
}

void AppendAscii(const char* text, char16_t* out, int* used, int capacity) {
  for (; *text != 0 && *used < capacity - 1; ++text)
    out[(*used)++] = static_cast<unsigned char>(*text);
  out[*used] = 0;
}

void AppendShortened(const char* text, int room, char16_t* out, int* used, int capacity) {
  if (room > capacity - 1 - *used) room = capacity - 1 - *used;
  if (room <= 0) return;
  // UTF-8 never has fewer bytes than UTF-16 units, so the shortened name's
  // units fit room. The name is cut at kBoxTextCapacity - 1 bytes at most.
  char shown[kBoxTextCapacity + 3];
  ShortenName(text, room, NameCut::kFolder, shown, sizeof shown);
  int n = Sys().MultiByteToWideChar(kCodePageUtf8, 0, shown, -1, out + *used, capacity - *used);
  if (n > 0) *used += n - 1;
  out[*used] = 0;
}
