// The document file, open for exclusive reading and writing for as long as
// the object lives, with the error of the first step that failed.
#pragma once

#include <cstdint>

#include "system/system.h"

// Where a walk found the file, and what it asks of the open. A found file is
// opened by its name in the folder the walk holds, never by a path that a
// link could have been swapped into; a named one by its path. admit, when
// set, is asked with the file's identity right after the open: false, and
// the file is left untouched with kErrorSeenBefore (a file the run already
// handled under another name).
struct FileTarget {
  SysHandle folder = kInvalidHandle;
  const char16_t* name = nullptr;
  bool (*admit)(const FileIdentity& identity) = nullptr;
};

// Not a system's code: the open's answer when admit says no.
inline constexpr uint32_t kErrorSeenBefore = 0x1392;  // 5010, "already exists"

class CFileAccess {
 public:
  // kRepair holds the file for reading and writing, alone; kCheck opens it
  // for reading only and lets other programs read it meanwhile.
  enum class Mode { kRepair, kCheck };

  // Opens path (UTF-16), or the target's name in its folder, and moves to
  // its start. Check failed() afterwards.
  explicit CFileAccess(const char16_t* path, Mode mode = Mode::kRepair,
                       const FileTarget* target = nullptr);
  ~CFileAccess();
  CFileAccess(const CFileAccess&) = delete;
  CFileAccess& operator=(const CFileAccess&) = delete;

  // Reads up to *count bytes into buffer at the current file pointer and
  // stores that pointer in position(); *count receives the bytes read
  // (0 at the end of the file). False on failure.
  bool Read(void* buffer, uint32_t* count);

  // Writes count bytes at offset and puts the file pointer back where it
  // was, so reading goes on where it left off. False on failure; a write
  // that writes fewer bytes than asked is a failure (ERROR_WRITE_FAULT).
  bool WriteAt(uint64_t offset, const void* bytes, uint32_t count);

  // True once any step has failed; error() then holds the system's code,
  // which may itself be 0 when the system gave none.
  bool failed() const { return failed_; }
  uint32_t error() const { return error_; }
  uint64_t position() const { return position_; }
  SysHandle handle() const { return handle_; }  // for the progress, which asks its length
  bool readOnly() const { return mode_ == Mode::kCheck; }

 private:
  void Fail(uint32_t error);
  SysHandle Open(const char16_t* path, const FileTarget* target);

  uint32_t error_ = 0;
  SysHandle handle_ = kInvalidHandle;
  uint64_t position_ = 0;
  bool failed_ = false;
  Mode mode_;
};
