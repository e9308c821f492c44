#include "driver/command_tail.h"

#include <cstring>

#include "system/system.h"
#include "system/utf8.h"

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

char* CommandLineToUtf8(const char16_t* commandLine) {
  uint32_t error = 0;
  int bytes = WideToUtf8(commandLine, -1, nullptr, 0, &error);
  auto* copy = static_cast<char*>(Sys().Allocate(static_cast<size_t>(bytes)));
  if (copy != nullptr) WideToUtf8(commandLine, -1, copy, bytes, &error);
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
