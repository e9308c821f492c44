// The "ANSI code page" of the POSIX build (and of the fake): UTF-8, with
// every byte that is not part of valid UTF-8 carried through UTF-16 as one
// lone surrogate U+DC80..U+DCFF, so any Linux file name survives the round trip.
// Both calls follow the Windows conversion contract: length -1 includes the
// terminator, capacity 0 asks for the size, 0 means failure with *error set.
#pragma once

#include <cstdint>

int AnsiToWide(const char* text, int length, char16_t* out, int capacity, uint32_t* error);
int WideToAnsi(const char16_t* text, int length, char* out, int capacity, uint32_t* error);
