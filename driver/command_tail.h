// The command line tail the droplet walks: from the Windows command line or
// from the POSIX arguments, each in a writable allocation of its own.
#pragma once

// The command line without the program name and the blanks after it.
char* CommandLineTail(char* commandLine);

// The Windows start-up's command line: the wide one as UTF-8, so that every
// name reaches the walk exactly, in an allocation of its own (Sys().Allocate);
// nullptr when there is no memory for it.
char* CommandLineToUtf8(const char16_t* commandLine);

// The POSIX start-up's command line tail: every argument exactly as the shell
// passed it, in an allocation of its own (Sys().Allocate). nullptr when there
// is no memory for it, or with *refused set to the argument's index when an
// argument cannot be passed (it starts with a double quote, or holds both a
// double quote and a space).
char* TailFromArguments(int argc, char* const* argv, int* refused);
