// The files droplet-maker reads and writes, by UTF-8 names. The output
// appears whole or not at all: written to a temporary file beside it, made
// durable, then renamed into place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The whole file; false with the reason in *why.
bool ReadWholeFile(const std::string& name, std::vector<uint8_t>* bytes, std::string* why);

bool FileExists(const std::string& name);

// True when both names reach the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Writes bytes to `name` through a temporary file in its folder, with the
// permissions of `like` (POSIX), replacing an existing file only when
// `replace` is set. false with the reason in *why; no file is left behind.
bool PublishFile(const std::string& name, const std::vector<uint8_t>& bytes,
                 const std::string& like, bool replace, std::string* why);

// The folder this program lives in, with its separator at the end.
std::string OwnFolder();
