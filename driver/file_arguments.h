// The file arguments of the command line tail: splitting, conversion to
// UTF-16, long-form expansion of unquoted paths, repair and listing.
#pragma once

#include <cstdint>

#include "system/capacities.h"

class HostList;

inline constexpr int kWorkPathCapacity = 256;  // UTF-16 units, terminator included
// The work path never grows beyond this after an append or a replacement,
// so that a separator and the terminator still fit.
inline constexpr int kWorkPathRoom = 254;

// Walks the writable tail, UTF-8 text (terminators are written over
// delimiters): each file is repaired in place and its path added to list, in
// order. 0 when every file was repaired and listed; otherwise the first
// nonzero code of the repair, the open message with 206 or the conversion's
// error for a token that cannot be held (512 bytes or more) or converted, or
// -41 (out-of-memory message) when the path's counted string could not be made,
// or the connection message and its code when the host fails to list it: no
// later file is touched then. kRunCancelled (messages.h) when the user
// stopped the run before a file: a walk that goes on past failed files must
// still stop on it, and pass it up as it is.
int32_t WalkFileArguments(char* tail, HostList* list);

// Rewrites path (a buffer of at least kPathCapacity units) in place with
// every component after the first that names an entry under its short name
// or in another letter case replaced by the entry's stored full name. A path
// whose long form would not fit the work path stays exactly as given.
void ExpandLongPath(char16_t* path);

// Replaces the last component of the work path (kWorkPathCapacity units) by
// the stored full name of the entry it names, or leaves it unchanged when
// the directory search answers with anything else.
void ExpandPathPrefix(char16_t* work);
