// What the run has done so far, file by file: the walk counts each file into
// one small record at its per-file point and remembers the first failures;
// the run's end reads it for its summary (summary_boxes.h). A progress
// display can read it too.
#pragma once

#include <cstdint>

#include "system/capacities.h"

inline constexpr int kListedFiles = 10;  // the files a summary box names
// A path as the boxes name it (UTF-8): a found file's full path has a
// folder path and one name, each up to three bytes per unit.
inline constexpr int kTallyPathCapacity = 3 * (kPathCapacity + 264);

struct TalliedFile {
  char path[kTallyPathCapacity];
  const char* message;  // the failure's message format, or nullptr
  int32_t code;         // the failure's code, or 0
  uint64_t damaged;     // damaged values repaired or found
};

struct RunTally {
  uint32_t files = 0;                     // files handled, failed ones included
  uint32_t damagedFiles = 0;              // files with damaged values, repaired or (checking) found
  uint64_t damagedValues = 0;             // damaged values repaired or found
  uint32_t failures = 0;                  // files that failed
  uint32_t named = 0;                     // files and folders the user named
  const char* firstNamed = nullptr;       // the first of them, as given (UTF-8)
  TalliedFile failed[kListedFiles] = {};  // the first failures
  TalliedFile damaged[kListedFiles] = {};  // the first damaged files
  bool summaryShown = false;  // the run's end showed its own box: no error box after it
  bool exitChosen = false;    // the run's end chose the Unix tool's exit value:
  int exitValue = 0;          // this one
};
// Every field starts zero, so that the record, with its lists, takes no room
// in the program's file.

extern RunTally Tally;

// Files handled without failure so far: in a repair, repaired in place (and
// given to the host's list); in a check, read. The walk counts a repaired
// file before the host takes it, so a host failure there still counts it.
inline uint32_t SucceededFiles() { return Tally.files - Tally.failures; }

// One file's outcome at the walk's per-file point.
struct FileOutcome {
  const char* path;  // UTF-8: as the user named it, or the full path of a found file
  int32_t code;      // 0, or the failure's code with its message in CurrentMessage
  uint64_t damaged;  // damaged values repaired or found
};

// Told of every file as it is done; nullptr (Windows) when the end's box
// says it all. The Linux entry prints its per-file lines here, and the
// end's boxes then leave out the lists those lines gave.
using FileHook = void (*)(const FileOutcome& outcome);
extern FileHook FileDone;

// Starts a run's tally afresh.
void ResetTally();

// Counts the outcome into Tally, remembers it while the lists have room,
// and tells FileDone.
void NoteFile(const FileOutcome& outcome);
