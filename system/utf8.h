// The program's one UTF-8 codec: the "ANSI code page" of the POSIX build
// (and of the fake), the Windows start-up's command line, the JSON texts.
//
// UTF-8 to UTF-16: every byte that does not begin a well-formed sequence
// becomes one lone surrogate U+DC80..U+DCFF, so any Linux file name survives
// the round trip.
//
// UTF-16 to UTF-8, for a surrogate without its partner (the one rule):
// - U+DC80..U+DCFF goes back as the byte it stands for, provided the bytes
//   read back as the same units (true of every text that came from bytes);
// - any other, and a run of those whose bytes would read back as another
//   character, keeps its three-byte form (ED A0 80..ED BF BF), which strict
//   UTF-8 decoding refuses: a name holding one is reported, never renamed.
// No surrogate is ever replaced or dropped.
//
// Both calls follow the Windows conversion contract: length -1 includes the
// terminator, capacity 0 asks for the size, 0 means failure with *error set.
#pragma once

#include <cstdint>

int Utf8ToWide(const char* text, int length, char16_t* out, int capacity, uint32_t* error);
int WideToUtf8(const char16_t* text, int length, char* out, int capacity, uint32_t* error);

// Writes the UTF-8 form of one code point (surrogates as their three bytes)
// to out, which has room for four; gives the number of bytes.
int PutUtf8(uint32_t codePoint, char* out);
