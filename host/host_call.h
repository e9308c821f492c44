// Calls to the host, which is another process: busy, refusing or gone.
#pragma once

#include <cstdint>

#include "messages/messages.h"
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

// Waits the next pause (never past the deadline) and doubles it; false
// once the deadline has passed.
bool WaitToRetry(uint32_t firstRejection, uint32_t* pause);

// The result of call(), repeated while the host rejects it.
template <typename Call>
int32_t CallHost(Call call) {
  int32_t result = call();
  if (!IsRejected(result)) return result;
  uint32_t first = Sys().GetTickCount();
  for (uint32_t pause = kFirstRetryPause; IsRejected(result) && WaitToRetry(first, &pause);)
    result = call();
  return result;
}

// The same for a call whose failure ends the run: 0, or the connection
// message with the call's code.
template <typename Call>
int32_t Sent(Call call) {
  int32_t result = CallHost(call);
  return result < 0 ? ConnectionFailure(result) : 0;
}
