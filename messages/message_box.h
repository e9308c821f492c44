// The one box the droplet shows its texts in, and the text it shows, built
// up in a UTF-16 buffer: the error box and the summary boxes share both.
#pragma once

#include <cstdint>

#include "system/capacities.h"

// The longest text a box shows (a summary's), in units with the terminator.
inline constexpr int kSummaryTextCapacity = kBoxTextCapacity * 4;

// Shows text in one box of the given style, titled with DropletCaption
// (the wide box, or the ANSI one when WideMode is false). Gives the button
// the user chose (kIdYes for Yes), or 0 when no box could be shown.
int ShowBox(const char16_t* text, uint32_t style);

// Each appends to out (used units so far, capacity units with the
// terminator), cut to fit, and leaves it terminated.
void AppendText(const char16_t* text, char16_t* out, int* used, int capacity);
// An ASCII text, widened unit by unit.
void AppendAscii(const char* text, char16_t* out, int* used, int capacity);
// A UTF-8 path, shortened to at most room units (ShortenName's kFolder):
// its file name stays whole, so that the files of one folder stay apart,
// and its folders keep their start and their end. Nothing at all when no
// unit is left for it.
void AppendShortened(const char* text, int room, char16_t* out, int* used, int capacity);
