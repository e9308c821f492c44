#include "host/host_call.h"

bool WaitToRetry(uint32_t firstRejection, uint32_t* pause) {
  uint32_t elapsed = Sys().GetTickCount() - firstRejection;
  if (elapsed >= kRetryDeadline) return false;
  uint32_t left = kRetryDeadline - elapsed;
  Sys().Sleep(*pause < left ? *pause : left);
  *pause = *pause * 2 < kLongestRetryPause ? *pause * 2 : kLongestRetryPause;
  return true;
}
