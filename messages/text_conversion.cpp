#include "messages/text_conversion.h"

#include "messages/trace.h"
#include "system/capacities.h"
#include "system/system.h"

int ToWideFixed(const char* text, char16_t* out, int capacity) {
  if (text == nullptr) {
    if (capacity > 0) out[0] = 0;
    return 0;
  }
  int needed = Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, text, -1, nullptr, 0);
  if (needed == 0 || needed > capacity) return 1;
  if (Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, text, -1, out, needed) == 0) return 2;
  return 0;
}

uint32_t ToWideFromUtf8(const char* text, char16_t* out, int capacity) {
  auto error = [] {
    uint32_t code = Sys().GetLastError();
    return code != 0 ? code : kErrorNoUnicodeTranslation;
  };
  // The strict flag: a byte sequence that is not UTF-8 fails rather than
  // turn into U+FFFD, which would name another file.
  int needed = Sys().MultiByteToWideChar(kCodePageUtf8, kErrInvalidChars, text, -1, nullptr, 0);
  if (needed == 0) return error();
  if (needed > capacity) return kErrorFilenameTooLong;
  if (Sys().MultiByteToWideChar(kCodePageUtf8, kErrInvalidChars, text, -1, out, needed) == 0)
    return error();
  return 0;
}

int ToWideAlloc(const char* text, char16_t** result) {
  if (text == nullptr) {
    *result = nullptr;
    return 0;
  }
  int n = Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, text, -1, nullptr, 0);
  if (n == 0) return 1;
  auto* buffer =
      static_cast<char16_t*>(Sys().Allocate((static_cast<size_t>(n) + 16) * sizeof(char16_t)));
  if (buffer == nullptr) return 2;
  if (Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, text, -1, buffer, n) == 0) {
    Sys().Release(buffer);
    return 3;
  }
  buffer[n] = 0;  // a second terminator, then a guard pattern behind the text
  for (int i = 1; i <= 4; ++i) buffer[n + i] = u'*';
  *result = buffer;
  return 0;
}

void ToNarrowTrace(const char16_t* text) {
  static char narrow[4 * kPathCapacity];  // four bytes for each unit of the longest path
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, text, -1, narrow, sizeof narrow) == 0)
    narrow[0] = 0;
  narrow[sizeof narrow - 1] = 0;
  TraceHook(narrow);
}
