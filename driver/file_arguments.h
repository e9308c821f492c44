// The file arguments of the command line tail: splitting, conversion to
// UTF-16, long-form expansion of unquoted paths (long_path.h), repair and
// listing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "system/capacities.h"

class HostList;

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
