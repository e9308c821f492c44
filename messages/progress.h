// What a long run shows while it works, and the user's way to stop it. The
// rules live here, the same on every platform: nothing shows in the first
// 2 s of a run; a busy host shows it at once; these lines and no others. The
// System only puts them on the screen (a dialog, or a terminal line).
#pragma once

#include <cstdint>

#include "system/system.h"

inline constexpr uint32_t kProgressDelay = 2000;  // ms of a run before anything shows
inline constexpr uint32_t kProgressRedraw = 100;  // ms between two redraws
// A file this far along shows its bytes beside the count of files.
inline constexpr uint64_t kProgressLargeFile = uint64_t(8) << 20;

// The run starts: the clock for the 2-second rule starts with it. A check
// says "Checking FILE" where a repair says "Repairing FILE".
void ProgressBegin(bool checking = false);

// A file argument (UTF-8, as the user gave it) is about to be handled.
// kRunCancelled when the user has asked to stop: the file is not touched.
int32_t ProgressNextFile(const char* file);

// Between two steps that are not a file's (a folder to list, a name that
// cannot be used): kRunCancelled when the user has asked to stop.
int32_t ProgressGoOn();

// Something else is about to be printed where the progress shows (a file's
// line on the terminal): it is taken off first, and comes back with the
// next file.
void ProgressAside();

// Between two chunks of the current file: done bytes of it are read.
// Cheap while nothing shows: one look at the clock. A large file's length
// is asked of its open handle, once and only while the progress shows, for
// the bar.
void ProgressBytes(uint64_t done, SysHandle file);

// The host turned a call away and the run waits for it: shown at once.
// kRunCancelled when the user has asked to stop waiting.
int32_t ProgressWaiting();

// The host took the call that was waited for.
void ProgressWaitOver();

// The files are done, and the request goes to the host or a check's box
// shows: nothing of the droplet's own is left to show (a busy host shows it
// again). kRunCancelled when the user asked to stop before this point:
// nothing is sent and no box shows then.
int32_t ProgressHandOver();

// The run ends: whatever shows is taken away, before any box.
void ProgressEnd();
