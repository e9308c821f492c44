// The box of a failure: its message with its code, the failing file and one
// line of context.
#pragma once

#include <cstdint>

// The box names the failing file on a line of its own below the message
// (Windows), or leads the message with it, as a Unix tool's line does.
#ifdef _WIN32
inline constexpr bool kFileBelowMessage = true;
#else
inline constexpr bool kFileBelowMessage = false;
#endif

// Formats CurrentMessage with the code (sign-extended from 16 bits), adds
// the failing file (CurrentFile) and one line of context (ContextLine), and
// shows it in one warning box titled with DropletCaption. Without context: a
// file's failure that the run goes on past, whose fate the run's end tells.
void ShowErrorBox(int32_t code, bool context = true);
