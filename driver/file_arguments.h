// The file arguments of the command line tail: splitting, conversion to
// UTF-16, long-form expansion of unquoted paths, repair and listing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "system/capacities.h"

class HostList;

inline constexpr int kWorkPathCapacity = 256;  // UTF-16 units, terminator included
// The work path never grows beyond this after an append or a replacement,
// so that a separator and the terminator still fit.
inline constexpr int kWorkPathRoom = 254;

// Bytes of the lists of the folders on the way down that a recursive walk
// keeps while it is in a subfolder. A folder whose list would take more is
// listed again after the subfolder, from the entries after its name on:
// memory stays bounded by the largest single folder (and this), and a folder
// of many subfolders is read once as long as its list fits.
extern size_t HeldListsBudget;

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

// Rewrites path (a buffer of at least kPathCapacity units) in place with
// every component after the first that names an entry under its short name
// or in another letter case replaced by the entry's stored full name. A path
// whose long form would not fit the work path stays exactly as given.
void ExpandLongPath(char16_t* path);

// Replaces the last component of the work path (kWorkPathCapacity units) by
// the stored full name of the entry it names, or leaves it unchanged when
// the directory search answers with anything else.
void ExpandPathPrefix(char16_t* work);
