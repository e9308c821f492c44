// The Linux droplet's options, taken the way a Unix tool takes them: -h or
// --help, -V or --version, -r or --recursive, -k or --keep-going, --check,
// -v or --verbose, and "--", which ends the options. Every other argument is
// a file; a file whose name starts with "--" or is one of the short options
// is reached as ./NAME or after "--".
// The Windows program has no options: its whole command line is files.
#pragma once

#include <cstdio>

// Sorts argv into options and files, in place and without allocating.
// Returns -1 when the droplet should run: argv then holds argv[0], the files
// in their order and a closing null, and *argc counts argv[0] and the files.
// Otherwise it has printed the help or the version on `out` (result 0, or 1
// with a message on `err` when `out` could not take it) or a usage error (an
// unknown option, or no file at all) on `err` (result 2), and the droplet
// exits with that value without touching any file.
int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err);

// The settings the options turn on (verbose: the report, and a check's
// lines for sound documents too).
struct PosixRunOptions {
  bool recursive = false;
  bool keepGoing = false;
  bool check = false;
  bool verbose = false;
};

// The same, giving the options that were set.
int ReadPosixOptions(int* argc, char** argv, std::FILE* out, std::FILE* err,
                     PosixRunOptions* options);
