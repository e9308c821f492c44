#include "messages/messages.h"

#include <cstdio>
#include <cstring>

const char* CurrentMessage = msg::kConnect;
const char* CurrentFile = nullptr;

bool IsCurrentMessage(const char* message) {
  return CurrentMessage != nullptr && std::strcmp(CurrentMessage, message) == 0;
}

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
  if (result == kRunCancelled) return result;  // the user's choice, not the host's failure
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
