// Conversions between the system ANSI code page and UTF-16.
#pragma once

#include <cstdint>

// Converts text into out (capacity in units, terminator included).
// 0: done (a null text gives an empty output); 1: the length query failed or
// the text does not fit (nothing written); 2: the conversion failed.
int ToWideFixed(const char* text, char16_t* out, int capacity);

// Converts text into a new buffer of n + 16 units (n: the length with its
// terminator) with a second terminator and "****" behind the text.
// 0: done, *result set (null for a null text); 1: length query failed;
// 2: no memory; 3: conversion failed. On failure *result is left unchanged.
// The caller releases the buffer with Sys().Release.
int ToWideAlloc(const char* text, char16_t** result);

// Converts a UTF-8 text into out (capacity in units, terminator included),
// refusing what the system cannot convert exactly. 0: done; otherwise a
// Windows error code: 206 when the text does not fit (nothing written), or
// the conversion's own error (1113 when it gives none).
uint32_t ToWideFromUtf8(const char* text, char16_t* out, int capacity);

// Converts a UTF-16 text to ANSI into a 2048-byte process buffer and traces it.
void ToNarrowTrace(const char16_t* text);
