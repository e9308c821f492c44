#include "messages/progress.h"

#include <cstdio>
#include <cstring>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "messages/shorten_name.h"
#include "system/system.h"
#include "system/utf8.h"

namespace {

constexpr int kNameRoom = 400;  // bytes of a file name shown; a longer one keeps its end

struct ProgressState {
  bool running = false;    // between ProgressBegin and ProgressEnd
  bool asked = false;      // the System was asked to show it
  bool shown = false;      // and did
  bool cancelled = false;  // the user asked to stop; stays so
  bool waiting = false;
  bool checking = false;  // a check changes nothing: its line must not say "Repairing"
  uint32_t start = 0;
  uint32_t drawn = 0;  // when the lines were last drawn
  const char* file = nullptr;
  uint64_t bytes = 0;
  SysHandle handle = kInvalidHandle;  // the current file's, only within ProgressBytes
  bool sized = false;                 // its length was asked for
  uint64_t length = 0;                // and is this (0: not known)
  int bar = 0;                        // per mille of the bar as last drawn
  char16_t line1[kNameRoom + 16];     // as last drawn: the same lines are not drawn again
  char16_t line2[96];
};
ProgressState Progress;

constexpr char16_t kWaitingLine[] = u"Waiting for the host editor to accept the request\u2026";

// "Repairing FILE" ("Checking FILE" in a check), FILE being as long as the line allows: a name too
// long for it keeps its end, where the file's own name is.
void RepairingLine(char16_t* out, int capacity) {
  char name[kNameRoom + 4];  // the kept end and the ellipsis before it
  ShortenName(Progress.file, kNameRoom, NameCut::kStart, name, sizeof name);
  char text[kNameRoom + 16];
  std::snprintf(text, sizeof text, "%s %s", Progress.checking ? "Checking" : "Repairing", name);
  uint32_t error = 0;
  if (Utf8ToWide(text, -1, out, capacity, &error) == 0) out[0] = 0;
}

// Files done: handled, failed ones a run goes on past included.
void CountLine(char16_t* out, int capacity) {
  char text[96];
  const uint32_t done = Tally.files;
  int n = std::snprintf(text, sizeof text, done == 1 ? "%u file done" : "%u files done", done);
  if (!Progress.waiting && Progress.file != nullptr && Progress.bytes >= kProgressLargeFile)
    std::snprintf(text + n, sizeof text - n, "; %llu MiB of this file",
                  static_cast<unsigned long long>(Progress.bytes >> 20));
  if (Progress.waiting && done == 0) text[0] = 0;  // nothing done yet to count
  uint32_t error = 0;
  if (Utf8ToWide(text, -1, out, capacity, &error) == 0) out[0] = 0;
}

// The bar shows the share read of a file large enough to count its MiB, and
// stands empty otherwise (between files, while waiting).
void DrawBar(uint32_t now) {
  uint64_t done = 0, length = 0;
  if (!Progress.waiting && Progress.file != nullptr && Progress.bytes >= kProgressLargeFile) {
    if (!Progress.sized && Progress.handle != kInvalidHandle) {
      Progress.sized = true;
      if (!Sys().GetFileSizeEx(Progress.handle, &Progress.length)) Progress.length = 0;
    }
    length = Progress.length;
    done = Progress.bytes < length ? Progress.bytes : length;  // a file may grow meanwhile
  }
  int bar = length == 0 ? 0 : static_cast<int>(done * 1000 / length);
  if (bar == Progress.bar) return;
  Progress.bar = bar;
  Sys().ProgressFraction(done, length);
  Progress.drawn = now;
}

void Draw(uint32_t now) {
  char16_t line1[kNameRoom + 16] = {};  // compared whole: cleared past the text
  char16_t line2[96] = {};
  if (Progress.waiting) {
    std::memcpy(line1, kWaitingLine, sizeof kWaitingLine);
  } else if (Progress.file != nullptr) {
    RepairingLine(line1, sizeof line1 / sizeof line1[0]);
  } else {
    return;  // nothing of the droplet's own to say
  }
  CountLine(line2, sizeof line2 / sizeof line2[0]);
  DrawBar(now);
  if (std::memcmp(line1, Progress.line1, sizeof line1) == 0 &&
      std::memcmp(line2, Progress.line2, sizeof line2) == 0)
    return;
  std::memcpy(Progress.line1, line1, sizeof line1);
  std::memcpy(Progress.line2, line2, sizeof line2);
  Sys().ProgressUpdate(line1, line2);
  Progress.drawn = now;
}

// Shows the progress once the run has lasted long enough (at once when
// asked to), then redraws it now and then. A System that cannot show it
// is asked once.
void Tick(bool now) {
  if (!Progress.running) return;
  uint32_t time = Sys().GetTickCount();
  if (!Progress.asked) {
    if (!now && time - Progress.start < kProgressDelay) return;
    if (!Progress.waiting && Progress.file == nullptr) return;
    Progress.asked = true;
    Progress.shown = Sys().ProgressStart(DropletCaption);
    now = true;
  }
  if (Progress.shown && (now || time - Progress.drawn >= kProgressRedraw)) Draw(time);
}

// Only within a run: a cancel never outlives the run it stopped.
bool Cancelled() {
  if (Progress.shown && !Progress.cancelled) Progress.cancelled = Sys().ProgressCancelled();
  return Progress.running && Progress.cancelled;
}

// Taken down, it may show again later; one that could not be made is not
// asked for again.
void TakeDown() {
  if (!Progress.shown) return;
  Sys().ProgressStop();
  Progress.shown = false;
  Progress.asked = false;
  Progress.line1[0] = Progress.line2[0] = 0;
  Progress.bar = 0;  // a dialog starts with its bar empty
}

}  // namespace

void ProgressBegin(bool checking) {
  Progress = ProgressState();
  Progress.running = true;
  Progress.checking = checking;
  Progress.start = Sys().GetTickCount();
}

int32_t ProgressNextFile(const char* file) {
  if (Cancelled()) return kRunCancelled;
  Progress.file = file;
  Progress.bytes = 0;
  Progress.sized = false;
  Progress.length = 0;
  Tick(false);
  return 0;
}

int32_t ProgressGoOn() { return Cancelled() ? kRunCancelled : 0; }

void ProgressAside() { TakeDown(); }

void ProgressBytes(uint64_t done, SysHandle file) {
  Progress.bytes = done;
  Progress.handle = file;
  Tick(false);
  Progress.handle = kInvalidHandle;  // the caller closes it
}

int32_t ProgressWaiting() {
  if (!Progress.running) return 0;
  bool begins = !Progress.waiting;
  Progress.waiting = true;
  Tick(begins);
  return Cancelled() ? kRunCancelled : 0;
}

void ProgressWaitOver() {
  if (!Progress.waiting) return;
  Progress.waiting = false;
  // Outside the walk there is nothing to show while the host works.
  if (Progress.file == nullptr) TakeDown();
}

int32_t ProgressHandOver() {
  if (Cancelled()) return kRunCancelled;
  Progress.file = nullptr;
  TakeDown();
  return 0;
}

void ProgressEnd() {
  TakeDown();
  Progress.running = false;
}
