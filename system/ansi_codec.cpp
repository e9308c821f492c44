#include "system/ansi_codec.h"

#include <cstring>

#include "system/system.h"

namespace {

// Decodes one code point at p (n bytes available); returns its byte length,
// or 0 when the bytes there are not valid UTF-8.
int DecodeUtf8(const unsigned char* p, int n, uint32_t* cp) {
  unsigned char b = p[0];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  int len;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, min = 0x80, *cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, min = 0x800, *cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, *cp = b & 0x07;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (int i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (p[i] & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

int AnsiToWide(const char* text, int length, char16_t* out, int capacity, uint32_t* error) {
  if (text == nullptr || capacity < 0 || length < -1 || length == 0) {
    *error = kErrorInvalidParameter;
    return 0;
  }
  int n = length == -1 ? static_cast<int>(std::strlen(text)) + 1 : length;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  int produced = 0;
  auto put = [&](char16_t unit) {
    if (capacity != 0 && produced < capacity) out[produced] = unit;
    ++produced;
  };
  for (int i = 0; i < n;) {
    uint32_t cp;
    int used = DecodeUtf8(p + i, n - i, &cp);
    if (used == 0) {
      put(static_cast<char16_t>(0xDC00 + p[i]));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp));
    }
    i += used;
  }
  if (capacity != 0 && produced > capacity) {
    *error = kErrorInsufficientBuffer;
    return 0;
  }
  return produced;
}

int WideToAnsi(const char16_t* text, int length, char* out, int capacity, uint32_t* error) {
  if (text == nullptr || capacity < 0 || length < -1 || length == 0) {
    *error = kErrorInvalidParameter;
    return 0;
  }
  int n = length;
  if (n == -1) {
    n = 0;
    while (text[n] != 0) ++n;
    ++n;
  }
  int produced = 0;
  auto put = [&](uint32_t byte) {
    if (capacity != 0 && produced < capacity) out[produced] = static_cast<char>(byte);
    ++produced;
  };
  for (int i = 0; i < n; ++i) {
    uint32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      put(u - 0xDC00);  // a byte that was not UTF-8 goes back as itself
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      put('?');
    } else if (u < 0x80) {
      put(u);
    } else if (u < 0x800) {
      put(0xC0 | (u >> 6));
      put(0x80 | (u & 0x3F));
    } else {
      put(0xE0 | (u >> 12));
      put(0x80 | ((u >> 6) & 0x3F));
      put(0x80 | (u & 0x3F));
    }
  }
  if (capacity != 0 && produced > capacity) {
    *error = kErrorInsufficientBuffer;
    return 0;
  }
  return produced;
}
