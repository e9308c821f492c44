// The walk's per-file point, where the files named in the tail and the files
// a folder walk finds go the same way: repaired (or checked), counted,
// listed for the host.
#pragma once

#include <cstdint>

#include "system/system.h"

class HostList;

// Repairs (or, checking, counts the damaged values of) the file at path, its
// full path, and lists it; CurrentFile names it to the user. A file a folder
// walk found is opened by its name in the folder it holds. 0 to go on, or
// the code that ends the walk.
int32_t HandleFile(const char16_t* path, HostList* list, SysHandle folder = kInvalidHandle,
                   const char16_t* name = nullptr);

// A file failed with code, its message in CurrentMessage: counted, and the
// end of the walk unless the run keeps going (then 0).
int32_t FileFailed(int32_t code);

// False when the run has already walked the open folder (or file) behind
// handle, under this or another name: a folder named twice, or named and
// inside another named one, is walked once, its failures told once.
bool FirstVisit(SysHandle handle);

// Names a found path to the user (UTF-8, in a buffer that lives on).
void NameFound(const char16_t* path);
