#include "driver/driver.h"

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
