#include "messages/messages.h"

#include <cstdio>

#include "messages/process_state.h"
#include "messages/text_conversion.h"
#include "system/system.h"

const char* CurrentMessage = msg::kConnect;
bool WideMode = true;
char16_t DropletCaption[kCaptionCapacity] = {};

int32_t FailureCode(uint32_t error) {
  int32_t code = LowCode(static_cast<int32_t>(error));
  return code != 0 ? code : -1;
}

int32_t OutOfMemoryFailure() {
  CurrentMessage = msg::kOutOfMemory;
  return kOutOfMemoryCode;
}

int32_t OpenFailure(uint32_t error) {
  CurrentMessage = msg::kOpen;
  return FailureCode(error);
}

int32_t ConnectionFailure(int32_t result) {
  CurrentMessage = msg::kConnect;
  return result < 0 ? FailureCode(static_cast<uint32_t>(result)) : -1;
}

void FormatMessageText(const char16_t* format, int32_t code, char16_t* out, int capacity) {
  if (capacity <= 0) return;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(code));
  int used = 0;
  auto put = [&](char16_t unit) {
    if (used < capacity - 1) out[used++] = unit;
  };
  for (const char16_t* p = format; *p != 0; ++p) {
    if (p[0] == u'%' && p[1] == u'd') {
      for (const char* d = digits; *d != 0; ++d) put(static_cast<char16_t>(*d));
      ++p;
    } else if (p[0] == u'%' && p[1] == u'%') {
      put(u'%');
      ++p;
    } else {
      put(*p);
    }
  }
  out[used] = 0;
}

void ShowErrorBox(int32_t code) {
  constexpr int kTextCapacity = 400;
  char16_t text[kTextCapacity];
  char16_t* format = nullptr;
  if (ToWideAlloc(CurrentMessage, &format) == 0 && format != nullptr) {
    FormatMessageText(format, LowCode(code), text, kTextCapacity);
    Sys().Release(format);
  } else {
    // The messages are plain ASCII: widen them unit by unit rather than
    // show nothing.
    char16_t plain[kTextCapacity];
    int i = 0;
    for (const char* p = CurrentMessage; p != nullptr && *p != 0 && i < kTextCapacity - 1; ++p)
      plain[i++] = static_cast<unsigned char>(*p);
    plain[i] = 0;
    FormatMessageText(plain, LowCode(code), text, kTextCapacity);
  }

  if (WideMode) {
    Sys().MessageBoxW(text, DropletCaption, kMessageBoxWarningOk);
    return;
  }
  char caption[256] = {};
  char narrow[kTextCapacity] = {};
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, DropletCaption, -1, caption, sizeof caption) == 0)
    caption[0] = 0;
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, text, -1, narrow, sizeof narrow) == 0)
    narrow[0] = 0;
  caption[sizeof caption - 1] = 0;
  narrow[sizeof narrow - 1] = 0;
  Sys().MessageBoxA(narrow, caption, kMessageBoxWarningOk);
}
