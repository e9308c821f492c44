#include "repair/scan_path.h"

#include "repair/next_candidate.h"

namespace {
ScanPath CurrentScanPath = ScanPath::Auto;
}  // namespace

bool ScanPathAvailable(ScanPath path) {
  switch (path) {
    case ScanPath::Auto:
    case ScanPath::Word: return true;
#if DROPLET_X86_VECTOR_SCAN
    // The compiler's processor check also asks whether the operating system
    // saves the wide registers, which AVX2 needs on top of the cpuid bit.
    case ScanPath::Sse2: __builtin_cpu_init(); return __builtin_cpu_supports("sse2") != 0;
    case ScanPath::Avx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2") != 0;
#else
    case ScanPath::Sse2:
    case ScanPath::Avx2: return false;
#endif
  }
  return false;
}

bool SetScanPath(ScanPath path) {
  if (!ScanPathAvailable(path)) return false;
  CurrentScanPath = path;
  return true;
}

ScanPath GetScanPath() { return CurrentScanPath; }

ScanPath ResolvedScanPath() {
  if (CurrentScanPath != ScanPath::Auto) return CurrentScanPath;
  if (ScanPathAvailable(ScanPath::Avx2)) return ScanPath::Avx2;
  if (ScanPathAvailable(ScanPath::Sse2)) return ScanPath::Sse2;
  return ScanPath::Word;
}
