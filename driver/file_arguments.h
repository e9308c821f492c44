// The file arguments of the command line tail: splitting, conversion to
// UTF-16, long-form expansion of unquoted paths (long_path.h), repair and
// listing.
#pragma once

#include <cstdint>

#include "system/capacities.h"

class HostList;

// Walks the writable tail, UTF-8 text (terminators are written over
// delimiters): each file is repaired in place and its path added to list, in
// order. 0 when every file was repaired and listed; otherwise the first
// nonzero code of the repair, the open message with 206 or the conversion's
// error for a token that cannot be held (512 bytes or more) or converted, or
// -41 (out-of-memory message) when the path's counted string could not be made,
// or the connection message and its code when the host fails to list it: no
// later file is touched then. kRunCancelled (messages.h) when the user
// stopped the run before a file or folder: a walk that goes on past failed
// files stops on it too, and passes it up as it is, neither counted nor kept.
int32_t WalkFileArguments(char* tail, HostList* list);

// The Linux entry's arguments, each one path whatever it holds (a quote, a
// space, a newline), used as a quoted token is: exactly as given. The
// arguments must outlive the walk.
void SetArgumentPaths(char* const* paths, int count);

// The walk over those paths (the tail is not read), with the results of
// WalkFileArguments.
int32_t WalkArgumentPaths(char* tail, HostList* list);
