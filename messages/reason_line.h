// Why a failure happened, in plain words: a line of its own below the
// message and its code, for the codes that alone leave a user guessing
// what to do.
#pragma once

#include <cstdint>

struct Reason {
  const char* text = nullptr;  // ASCII; nullptr when there is nothing to add
  bool afterName = false;      // the text follows the failing file's name
};

// The reason for the current failure (CurrentMessage, CurrentFile) with
// code. Asks the system what the failing file is (a folder, read-only) only
// for a code that leaves it open.
Reason FailureReason(int32_t code);
