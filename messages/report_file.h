// The whole list of a run whose summary box has no room for it. The tally
// keeps only the first kListedFiles of each kind, so every damaged document
// and every failed file goes to a text file as it is done; the box keeps
// the file only when it cannot list them all, and names it. The file is
// UTF-8 with a byte order mark and CRLF line ends: the program Windows
// opens a .txt with may read a file without the mark in the ANSI code page.
// It lives in the local application data folder: droplet\Reports\NAME, NAME
// the droplet's caption and the local time ("Check documents 2026-12-08
// 231502.txt").
#pragma once

#include <cstdint>

#include "messages/run_tally.h"

// Starts a run's list: wanted when the run's end may show a box that lists
// files. Nothing is written when FileDone is set: its lines say it all.
void ReportBegin(bool wanted);

// One file's outcome: a damaged or failed one is written, the file made at
// the first of them. A failure to make or write it is kept for the box.
void ReportNote(const FileOutcome& outcome);

// The box can list every entry: the file, if any, is removed.
void ReportDiscard();

// The box cannot list every entry: the totals close the file and it stays.
// 0 with *path the file's full path; otherwise the failure's code, nonzero,
// and no file. 0 with *path nullptr when nothing was listed.
int32_t ReportKeep(const char16_t** path);

// Opens the kept file with its program; false when it could not be.
bool ReportOpen();

// The run is over: a file that was not kept is removed.
void ReportEnd();
