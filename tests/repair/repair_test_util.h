// Small helpers shared by the repair tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/trace.h"
#include "repair/scan_path.h"
#include "tests/support/trace_recorder.h"

namespace repair_test {

using Traces = TraceRecorder;

// Resets the process-wide state the pass reads and writes, and restores it.
class PassState {
 public:
  explicit PassState(bool wide = true) : wide_(WideMode), message_(CurrentMessage) {
    WideMode = wide;
    CurrentMessage = msg::kConnect;
  }
  ~PassState() {
    WideMode = wide_;
    CurrentMessage = message_;
  }

 private:
  bool wide_;
  const char* message_;
};

// Forces a scan path for its scope and puts the previous setting back. The
// caller skips a path the processor lacks (ScanPathAvailable) first.
class ForcedScanPath {
 public:
  explicit ForcedScanPath(ScanPath path) : previous_(GetScanPath()) { forced_ = SetScanPath(path); }
  ~ForcedScanPath() { SetScanPath(previous_); }
  ForcedScanPath(const ForcedScanPath&) = delete;
  ForcedScanPath& operator=(const ForcedScanPath&) = delete;
  bool forced() const { return forced_; }

 private:
  ScanPath previous_;
  bool forced_;
};

// Every path a test can force, and their names.
inline constexpr ScanPath kForcedPaths[] = {ScanPath::Word, ScanPath::Sse2, ScanPath::Avx2};
inline const char* ScanPathName(ScanPath path) {
  switch (path) {
    case ScanPath::Auto: return "Auto";
    case ScanPath::Word: return "Word";
    case ScanPath::Sse2: return "Sse2";
    case ScanPath::Avx2: return "Avx2";
  }
  return "?";
}

// A file's bytes with a token placed at each offset.
inline std::string WithTokens(std::size_t size, std::initializer_list<std::size_t> offsets,
                              const std::string& token, char fill = 'x') {
  std::string bytes(size, fill);
  for (std::size_t at : offsets) bytes.replace(at, token.size(), token);
  return bytes;
}

// "" when the two byte strings are equal; otherwise where they first differ.
// (Comparing large files with EXPECT_EQ would make the framework diff them.)
inline std::string Difference(const std::string& got, const std::string& want) {
  if (got == want) return "";
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  auto around = [i](const std::string& s) {
    std::size_t from = i < 8 ? 0 : i - 8;
    return from < s.size() ? s.substr(from, 27) : std::string();
  };
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at " + std::to_string(i) + ": got \"" + around(got) +
         "\", want \"" + around(want) + "\"";
}

}  // namespace repair_test

// Names a path in GoogleTest's messages.
inline void PrintTo(ScanPath path, std::ostream* out) { *out << repair_test::ScanPathName(path); }
