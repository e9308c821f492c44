// The files droplet-maker reads and writes, by UTF-8 names. Inputs are
// checked before they are read: regular files only, their size first. The
// output appears whole or not at all: written to a temporary file of the
// maker's own in its folder, made durable, then renamed into place; no other
// file is ever removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a regular file of at most `limit` bytes. false with the reason in
// *why when it cannot be opened or is not a regular file (a folder, a FIFO,
// a device). true with its size in *size, and its bytes only when the size
// is within the limit (over it, nothing is read).
bool ReadInput(const std::string& name, uint64_t limit, std::vector<uint8_t>* bytes, uint64_t* size,
               std::string* why);

bool FileExists(const std::string& name);

// True when both names reach the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Writes bytes to `name` through a temporary file in its folder, with the
// permissions of `like` (POSIX), replacing an existing file only when
// `replace` is set. false with the reason in *why; only the temporary file
// this call created is removed.
bool PublishFile(const std::string& name, const std::vector<uint8_t>& bytes,
                 const std::string& like, bool replace, std::string* why);

// The folder this program lives in, with its separator at the end.
std::string OwnFolder();
