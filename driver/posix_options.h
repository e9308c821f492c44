// The Linux droplet's options, taken the way a Unix tool takes them: -h or
// --help, -V or --version, -r or --recursive, -k or --keep-going, --check,
// -v or --verbose, -0 or --null, --send=WHAT or --send WHAT, and "--", which
// ends the options. Short options combine (-rkv). Every other argument is a
// file; a file whose name starts with "-" is reached as ./NAME or after "--".
// Messages and the usage name the program as it was started (argv[0]'s
// last part), so that a made droplet speaks for itself.
// The Windows program has no options: its whole command line is files.
#pragma once

#include <cstdio>

#include "settings/droplet_settings.h"

// The settings the options turn on (verbose: the report, and a check's
// lines for sound documents too).
struct PosixRunOptions {
  bool recursive = false;
  bool keepGoing = false;
  bool check = false;
  bool verbose = false;
  bool null = false;  // a check's lines end each name with a NUL, not ": "
  bool sendGiven = false;
  SendFiles send = SendFiles::kAll;
  // Given: the droplet's own settings have options, so that no file at all
  // is not a usage error but a run that says what to drop on it.
  bool madeWithOptions = false;
};

// Sorts argv into options and files, in place and without allocating.
// Returns -1 when the droplet should run: argv then holds argv[0], the files
// in their order and a closing null, and *argc counts argv[0] and the files
// (none only with options, given or made). Otherwise it has printed the help
// or the version on `out` (result 0, or 1 with a message on `err` when `out`
// could not take it) or a usage error (an unknown option or value, or no
// file at all) on `err` (result 2), and the droplet exits with that value
// without touching any file.
int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err);

// The same, giving the options that were set.
int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err,
                     PosixRunOptions* options);

// The program's name as it was started: argv[0]'s last part ("droplet"
// without one).
const char* ProgramName(const char* argv0);
