// The boxes at a run's end that sum it up, from the run's tally (Tally).
#pragma once

#include <cstdint>

// The end of a run that kept going past failed files: one warning box with
// the count and the first failures (their lists only without FileDone).
// everyFileSent: the others all went to the host; else `sent` of them did.
void ShowKeepGoingBox(bool everyFileSent = true, uint32_t sent = 0);

// A failure after a walk that went on past failed files (the host's): the
// error box's text, then the files that could not be repaired, or the
// file that lists them all. One warning box.
void ShowWithFailures(const char16_t* text);

// The end of a check: one information box with the counts, the first
// damaged documents and the files that could not be read.
void ShowCheckBox();

// The end of a run that succeeded, when the settings ask for a report:
// what was repaired and what was sent (every document, or `sent` of them).
void ShowReportBox(bool everyFileSent = true, uint32_t sent = 0);

// An empty drop on a droplet with options: one information box saying what
// to drop on it (documents, or documents or folders) and `purpose`, ASCII.
void ShowEmptyDropBox(bool folders, const char* purpose);

// The end of a run on folders that held no file at all: one information
// box naming the first named one ("No files were found in C:\e.").
void ShowNothingFoundBox();

// The end of a run the user stopped after a file was changed: what was
// repaired in place, and that nothing was sent. No box when none changed.
void ShowStoppedBox();
