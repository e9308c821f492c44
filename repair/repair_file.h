// The repair pass: overwrites every damaged values token of a document with
// the repaired token, in place, streaming the file in 64 KiB chunks.
#pragma once

#include <cstdint>

struct FileTarget;

// Internal result codes of the pass.
inline constexpr int32_t paramErr = -50;
inline constexpr int32_t corErr = -3;

// Repairs the file at path (UTF-16, zero-terminated). 0 on success; otherwise
// a sign-extended 16-bit code whose message is in CurrentMessage.
int32_t RepairFile(const char16_t* path);

// The same, giving in *repaired how many damaged values were overwritten;
// target (cfile_access.h), when given, says where a walk found the file.
int32_t RepairFile(const char16_t* path, uint64_t* repaired, const FileTarget* target = nullptr);

// The same scan, read-only: the file is opened for reading only, sharing
// reads, nothing is written, and *found receives the number of damaged
// values. 0 on success; otherwise the code of the open or read that failed.
int32_t CheckFile(const char16_t* path, uint64_t* found, const FileTarget* target = nullptr);
