// The long form of a path typed with short or differently cased names: each
// component after the first replaced by the name the directory search
// stores it under, only where that answer is the component's own entry.
#pragma once

inline constexpr int kWorkPathCapacity = 256;  // UTF-16 units, terminator included
// The work path never grows beyond this after an append or a replacement,
// so that a separator and the terminator still fit.
inline constexpr int kWorkPathRoom = 254;

// Rewrites path (a buffer of at least kPathCapacity units) in place with
// every component after the first that names an entry under its short name
// or in another letter case replaced by the entry's stored full name. A path
// whose long form would not fit the work path stays exactly as given.
void ExpandLongPath(char16_t* path);

// Replaces the last component of the work path (kWorkPathCapacity units) by
// the stored full name of the entry it names, or leaves it unchanged when
// the directory search answers with anything else.
void ExpandPathPrefix(char16_t* work);
