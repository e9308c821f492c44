// How the repair pass finds the start offsets worth a token test. Every path
// finds the same occurrences and makes the same writes; they differ in speed
// and in what the processor must offer. The choice is process-wide.
#pragma once

enum class ScanPath {
  Auto,  // the fastest path this processor runs (the default)
  Word,  // eight bytes at a time in plain integer code: runs anywhere
  Sse2,  // 16 start offsets at a time (x86 with SSE2)
  Avx2,  // 32 start offsets at a time (x86 with AVX2 and an operating system that saves it)
};

// True when this build and processor can run the path. Auto and Word always can.
bool ScanPathAvailable(ScanPath path);

// Sets the path every later pass uses. A path that is not available is
// refused (false) and the setting stays as it was.
bool SetScanPath(ScanPath path);

// The path as set, and the one a pass takes now (Auto resolved).
ScanPath GetScanPath();
ScanPath ResolvedScanPath();
