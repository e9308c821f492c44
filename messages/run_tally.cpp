#include "messages/run_tally.h"

#include <cstring>

#include "messages/messages.h"
#include "messages/progress.h"
#include "messages/report_file.h"

RunTally Tally;
FileHook FileDone = nullptr;

void ResetTally() {
  // Field by field: the lists are large, and a fresh record need not be copied.
  Tally.files = Tally.damagedFiles = Tally.failures = Tally.named = 0;
  Tally.firstNamed = nullptr;
  Tally.damagedValues = 0;
  Tally.summaryShown = false;
  Tally.exitChosen = false;
}

namespace {

void Remember(TalliedFile& entry, const FileOutcome& outcome) {
  const char* path = outcome.path != nullptr ? outcome.path : "";
  size_t n = std::strlen(path);
  if (n >= sizeof entry.path) n = sizeof entry.path - 1;
  std::memcpy(entry.path, path, n);
  entry.path[n] = 0;
  entry.message = outcome.code != 0 ? CurrentMessage : nullptr;
  entry.code = outcome.code;
  entry.damaged = outcome.damaged;
}

}  // namespace

void NoteFile(const FileOutcome& outcome) {
  ++Tally.files;
  if (outcome.code != 0) {
    if (Tally.failures < kListedFiles) Remember(Tally.failed[Tally.failures], outcome);
    ++Tally.failures;
  } else if (outcome.damaged > 0) {
    if (Tally.damagedFiles < kListedFiles) Remember(Tally.damaged[Tally.damagedFiles], outcome);
    ++Tally.damagedFiles;
    Tally.damagedValues += outcome.damaged;
  }
  ReportNote(outcome);  // the whole list, beyond what the tally keeps
  if (FileDone != nullptr) {
    ProgressAside();  // the file's line is not written into the progress line
    FileDone(outcome);
  }
}
