#include "messages/context_line.h"

#include <cstdio>
#include <cstring>

#include "messages/counted.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "system/system.h"

namespace {

// What became of the files handled so far: "N files [before this one] were
// repaired in place", and how many of the others needed no repair (a sound
// file is not "repaired"), then, when the failure was not a file's, how many
// a walk that went on past them could not repair; then the end ("." or what
// became of the request).
void Repaired(bool beforeThis, const char* end, char* out, int capacity) {
  const uint32_t repaired = Tally.damagedFiles, sound = SucceededFiles() - repaired;
  const char* before = beforeThis ? " before this one" : "";
  char failed[48] = "";
  if (Tally.failures > 0 && CurrentFile == nullptr)
    std::snprintf(failed, sizeof failed, "; %u could not be repaired", Tally.failures);
  char files[40], sounds[40];
  Counted(repaired, "file", "files", files, sizeof files);
  Counted(sound, "file", "files", sounds, sizeof sounds);
  if (repaired == 0)  // the failing file itself may have been written in part
    std::snprintf(out, capacity, "No %sfile was changed (%s%s needed no repair)%s%s",
                  FilesChanged ? "other " : "", sounds, before, failed, end);
  else if (sound == 0)
    std::snprintf(out, capacity, "%s%s %s repaired in place%s%s", files, before,
                  repaired == 1 ? "was" : "were", failed, end);
  else
    std::snprintf(out, capacity, "%s%s %s repaired in place and %u needed no repair%s%s", files,
                  before, repaired == 1 ? "was" : "were", sound, failed, end);
}

// What became of the files when the failure was not about one of them.
void FilesFate(char* out, int capacity) {
  if (SucceededFiles() == 0)
    std::snprintf(out, capacity, "No file was changed.");
  else
    Repaired(false, ".", out, capacity);
}

}  // namespace

void ContextLine(int32_t code, char* out, int capacity) {
  if (capacity <= 0) return;
  out[0] = 0;
  const char* nothingSent = "; nothing was sent to the host editor.";
  const uint32_t before = SucceededFiles();
  if (CurrentFile != nullptr) {
    // The failing file itself may have been written in part.
    if (before == 0)
      std::snprintf(out, capacity, "%s",
                    FilesChanged ? "No other file was changed; nothing was sent to the host editor."
                                 : "No file was changed.");
    else
      Repaired(true, nothingSent, out, capacity);
    return;
  }
  if (!IsCurrentMessage(msg::kConnect) && !IsCurrentMessage(msg::kLaunch)) {
    // Out of memory for the request, say: it never went out.
    if (before == 0)
      std::snprintf(out, capacity, "No file was changed.");
    else
      Repaired(false, nothingSent, out, capacity);
    return;
  }
  const char* host = nullptr;
  switch (HostStage) {
    case RequestStage::kListing:
      host = "The host editor stopped before the request was sent.";
      break;
    case RequestStage::kRefused: host = "The host editor refused the request."; break;
    case RequestStage::kClosed:
      host = "The host editor closed while taking the request; it may have received part of it.";
      break;
    case RequestStage::kConnecting: break;
  }
  if (host != nullptr) {
    char files[96];
    FilesFate(files, sizeof files);
    std::snprintf(out, capacity, "%s %s", host, files);
    return;
  }
  // Codes of a host that is not registered at all: its identifier (499),
  // its class (340) or its program (338) is unknown to the system.
  int32_t low = LowCode(code);
  bool missing = low == LowCode(kClassStringInvalid) || low == LowCode(kClassNotRegistered) ||
                 low == LowCode(kRegistryKeyMissing);
  const char* text;
  if (missing)
    text = FilesChanged ? "The host editor does not appear to be installed. Files repaired "
                          "before this failure keep their repairs; none was sent to it."
                        : "The host editor does not appear to be installed. No file was changed.";
  else
    text = FilesChanged ? "Files repaired before this failure keep their repairs; none was sent "
                          "to the host editor."
                        : "No file was changed.";
  std::snprintf(out, capacity, "%s", text);
}
