// The user messages, the slot that holds the current failure's message and
// the error-code convention. The box that shows them: error_box.h.
#pragma once

#include <cstdint>

namespace msg {
inline constexpr const char* kConnect =
    "The droplet was unable to connect. Please try again. (Error code %d.)";
inline constexpr const char* kLaunch =
    "The droplet was unable to launch Pixmantle. Manually start Pixmantle and try again. "
    "(Error code %d.)";
inline constexpr const char* kOutOfMemory =
    "The droplet ran out of memory. Please try again. (Error code %d.)";
inline constexpr const char* kOpen =
    "The droplet was unable to open the file for repair. Please try again. (Error code %d.)";
inline constexpr const char* kRead =
    "The droplet was unable to read the file for repair. Please try again. (Error code %d.)";
inline constexpr const char* kWrite =
    "The droplet was unable to write the file for repair. Please try again. (Error code %d.)";
// A check writes nothing: its failures say so in its own words.
inline constexpr const char* kCheckRead =
    "The droplet was unable to read the file to check it. (Error code %d.)";
inline constexpr const char* kInternal =
    "The droplet had an internal error. Please try again. (Error code %d.)";
}  // namespace msg

// The message of the current failure; set by the driver before the run and
// overwritten by the step that fails, never cleared.
extern const char* CurrentMessage;  // design name

// The file being handled, as the user gave it (UTF-8), or nullptr: the walk
// sets it for each file and clears it once the file is listed, so that a
// failure about a file names it.
extern const char* CurrentFile;

// True when the current failure's message is message (by text: the same
// message may sit at another address in each file that uses it).
bool IsCurrentMessage(const char* message);

// Error codes are signed 16-bit values carried in wider integers.
inline int32_t LowCode(int32_t result) { return static_cast<int16_t>(result & 0xFFFF); }

// The code a failure is reported with: the low 16 bits of a system error or
// COM result, sign-extended, or -1 when those bits are all zero, so that a
// failure can never be mistaken for success.
int32_t FailureCode(uint32_t error);

// Out-of-memory code of the droplet's own allocations.
inline constexpr int32_t kOutOfMemoryCode = -41;

// The user cancelled the run (the progress dialog's Cancel). Not a failure:
// no box, no message, nothing sent, exit value 1. Every step passes it up as
// it passes a failure's code, and a walk that goes on past failed files must
// stop on it. Its low 16 bits (1223, the system's "cancelled") are nonzero,
// so code that only asks "nonzero?" stops too; its high bits set it apart
// from every failure, which is a sign-extended 16-bit code or a COM failure.
inline constexpr int32_t kRunCancelled = 0x400004C7;

// A text the droplet needed could not be made: the out-of-memory message, -41.
int32_t OutOfMemoryFailure();

// A file could not be opened for repair, or its name could not be held or
// converted: the open message, with the system's error code (never 0).
int32_t OpenFailure(uint32_t error);

// A step of reaching the host failed with result, or succeeded and left no
// object behind: the connection message, with a code that is never 0.
int32_t ConnectionFailure(int32_t result);

// Formats a message with one "%d" into a UTF-16 text of at most capacity
// units with its terminator; the text is cut to fit, never written past.
void FormatMessageText(const char16_t* format, int32_t code, char16_t* out, int capacity);
