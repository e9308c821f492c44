#include "driver/command_tail.h"

#include <cstring>

#include "system/system.h"

char* CommandLineTail(char* commandLine) {
  char* p = commandLine;
  // The program name runs to the first space or tab outside double quotes.
  bool quoted = false;
  while (*p != 0) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (!quoted && (*p == ' ' || *p == '\t')) {
      break;
    }
    ++p;
  }
  // Then blanks (codes 1 to 32). Bytes 128 to 255 are not blanks: they stay
  // part of the first argument.
  while (*p != 0 && static_cast<unsigned char>(*p) <= ' ') ++p;
  return p;
}

namespace {

// Puts the UTF-8 bytes of one code point at out (when out is not null) and
// gives their number.
size_t PutUtf8(uint32_t cp, char* out) {
  unsigned char bytes[4];
  size_t n;
  if (cp < 0x80) {
    bytes[0] = static_cast<unsigned char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  if (out != nullptr) std::memcpy(out, bytes, n);
  return n;
}

// Encodes text as UTF-8 into out (when out is not null); gives the number
// of bytes, terminator included.
size_t EncodeUtf8(const char16_t* text, char* out) {
  size_t used = 0;
  for (const char16_t* p = text; *p != 0; ++p) {
    uint32_t cp = *p;
    if (cp >= 0xD800 && cp <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    // A lone surrogate keeps its three-byte form, which strict UTF-8
    // decoding refuses: the token that holds it is reported, not renamed.
    used += PutUtf8(cp, out != nullptr ? out + used : nullptr);
  }
  if (out != nullptr) out[used] = 0;
  return used + 1;
}

}  // namespace

char* CommandLineToUtf8(const char16_t* commandLine) {
  size_t bytes = EncodeUtf8(commandLine, nullptr);
  auto* copy = static_cast<char*>(Sys().Allocate(bytes));
  if (copy != nullptr) EncodeUtf8(commandLine, copy);
  return copy;
}

char* TailFromArguments(int argc, char* const* argv, int* refused) {
  *refused = 0;
  // Each argument in double quotes (quoted paths are used unchanged), unless
  // it holds a double quote itself; then it goes unquoted, which needs it to
  // hold no space and not to start with the quote.
  size_t bytes = 1;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    bool hasQuote = std::strchr(arg, '"') != nullptr;
    if (hasQuote && (arg[0] == '"' || std::strchr(arg, ' ') != nullptr)) {
      *refused = i;
      return nullptr;
    }
    bytes += std::strlen(arg) + (hasQuote ? 0 : 2) + (i > 1 ? 1 : 0);
  }
  auto* tail = static_cast<char*>(Sys().Allocate(bytes));
  if (tail == nullptr) return nullptr;
  char* p = tail;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    bool hasQuote = std::strchr(arg, '"') != nullptr;
    if (i > 1) *p++ = ' ';
    if (!hasQuote) *p++ = '"';
    size_t n = std::strlen(arg);
    std::memcpy(p, arg, n);
    p += n;
    if (!hasQuote) *p++ = '"';
  }
  *p = 0;
  return tail;
}
