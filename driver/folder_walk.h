// The folder walk of a recursive run: a named folder stands for the files in
// it and its subfolders, depth first, each folder's entries in name order.
// Every folder is held while it is walked and its entries are opened
// relative to it, so that no name swapped for a link can lead outside the
// tree.
#pragma once

#include <cstddef>
#include <cstdint>

class HostList;

// Bytes of the lists of the folders above the current one that the walk
// keeps while it is in a subfolder. A folder whose list would go past it is
// listed again after each subfolder, from the entries after that one's
// name: memory stays bounded by the largest folder and this. The current
// folder's own list never counts, so a wide folder is listed once.
extern size_t HeldListsBudget;

// A path named with the recursive option, as a full path: a folder is
// walked (a link to it followed: the user named it), anything else goes the
// way of a file. 0 to go on, or the code that ends the walk.
int32_t WalkNamed(const char16_t* path, HostList* list);
