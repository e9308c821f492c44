#include "system/utf8.h"

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

// A unit that stands for a byte that was not UTF-8 (one not after a high
// surrogate: callers see pairs first).
bool IsByte(uint32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Whether a run of such units, written as their bytes, reads back as the same
// units: no well-formed sequence starts at any of them. The bytes around the
// run are ASCII, lead bytes or ED, none of which continues a sequence.
bool RunReadsBack(const char16_t* run, int count) {
  unsigned char bytes[4] = {};
  for (int i = 0; i < count; ++i) {
    int n = 0;
    for (; n < 4 && i + n < count; ++n) bytes[n] = static_cast<unsigned char>(run[i + n] - 0xDC00);
    uint32_t cp;
    if (DecodeUtf8(bytes, n, &cp) != 0) return false;
  }
  return true;
}

}  // namespace

int Utf8ToWide(const char* text, int length, char16_t* out, int capacity, uint32_t* error) {
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

int PutUtf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  int n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (int i = n - 1; i > 0; --i, cp >>= 6) out[i] = static_cast<char>(0x80 | (cp & 0x3F));
  out[0] = static_cast<char>(kLead[n] | cp);
  return n;
}

int WideToUtf8(const char16_t* text, int length, char* out, int capacity, uint32_t* error) {
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
  auto put = [&](const char* bytes, int count) {
    for (int k = 0; k < count; ++k, ++produced)
      if (capacity != 0 && produced < capacity) out[produced] = bytes[k];
  };
  char bytes[4];
  for (int i = 0; i < n; ++i) {
    uint32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      put(bytes, PutUtf8(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u), bytes));
      ++i;
    } else if (IsByte(u)) {
      int end = i;
      while (end < n && IsByte(text[end])) ++end;
      bool asBytes = RunReadsBack(text + i, end - i);
      for (int k = i; k < end; ++k) {
        bytes[0] = static_cast<char>(text[k] - 0xDC00);
        put(bytes, asBytes ? 1 : PutUtf8(text[k], bytes));
      }
      i = end - 1;
    } else {
      put(bytes, PutUtf8(u, bytes));
    }
  }
  if (capacity != 0 && produced > capacity) {
    *error = kErrorInsufficientBuffer;
    return 0;
  }
  return produced;
}
