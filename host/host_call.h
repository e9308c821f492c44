// Calls to the host, which is another process: busy, refusing or gone.
#pragma once

#include <cstdint>

#include "messages/messages.h"
#include "messages/progress.h"
#include "system/system.h"

// The host's message filter turned the call away; it never ran.
inline constexpr int32_t kCallRejected = static_cast<int32_t>(0x80010001u);
inline constexpr int32_t kServerCallRetryLater = static_cast<int32_t>(0x8001010Au);

// A rejected call is tried again after a pause that grows from the first to
// the longest, until it is taken or this long after its first rejection.
inline constexpr uint32_t kFirstRetryPause = 50;      // ms
inline constexpr uint32_t kLongestRetryPause = 1000;  // ms
inline constexpr uint32_t kRetryDeadline = 60000;     // ms

inline bool IsRejected(int32_t result) {
  return result == kCallRejected || result == kServerCallRetryLater;
}

// The host ended or stopped answering while it had the call: an RPC failure
// (the RPC facility, or a Windows RPC error 1700-1999 as a result). A
// rejected call is not one of them: it never ran.
inline bool IsHostGone(int32_t result) {
  uint32_t r = static_cast<uint32_t>(result);
  if (IsRejected(result)) return false;
  if ((r & 0xFFFF0000u) == 0x80010000u) return true;
  return (r & 0xFFFF0000u) == 0x80070000u && (r & 0xFFFFu) >= 1700 && (r & 0xFFFFu) < 2000;
}

// Waits the next pause (never past the deadline) and doubles it; false
// once the deadline has passed.
bool WaitToRetry(uint32_t firstRejection, uint32_t* pause);

// The result of call(), repeated while the host rejects it. The wait shows
// at once, and the user may stop it: kRunCancelled then, and the call is not
// made again (its outputs are those of a rejected call: none).
template <typename Call>
int32_t CallHost(Call call) {
  int32_t result = call();
  if (!IsRejected(result)) return result;
  uint32_t first = Sys().GetTickCount();
  ProgressWaiting();
  for (uint32_t pause = kFirstRetryPause; IsRejected(result) && WaitToRetry(first, &pause);)
    result = ProgressWaiting() != 0 ? kRunCancelled : call();
  ProgressWaitOver();
  return result;
}

// The same for a call whose failure ends the run: 0, kRunCancelled, or the
// connection message with the call's code.
template <typename Call>
int32_t Sent(Call call) {
  int32_t result = CallHost(call);
  return result < 0 || result == kRunCancelled ? ConnectionFailure(result) : 0;
}
