#include "repair/cfile_access.h"

#include "messages/process_state.h"
#include "messages/trace.h"

namespace {
// Size of the ANSI form of the path, terminator included.
constexpr int kAnsiPathCapacity = 256;
constexpr uint32_t kOpenAccess = kGenericRead | kGenericWrite;
constexpr uint32_t kShareNone = 0;
constexpr uint32_t kCheckAccess = kGenericRead;
constexpr uint32_t kCheckShare = kShareRead;
}  // namespace

CFileAccess::CFileAccess(const char16_t* path, Mode mode, const FileTarget* target) : mode_(mode) {
  TraceHook("CFileAccess\n");
  handle_ = Open(path, target);
  if (handle_ == kInvalidHandle) return;
  if (target != nullptr && target->admit != nullptr) {
    FileIdentity identity;
    if (!Sys().GetFileIdentity(handle_, &identity)) {
      Fail(Sys().GetLastError());
      return;
    }
    if (!target->admit(identity)) {
      Fail(kErrorSeenBefore);
      return;
    }
  }
  if (!Sys().SetFilePointerEx(handle_, 0, nullptr, kFileBegin)) Fail(Sys().GetLastError());
}

CFileAccess::~CFileAccess() {
  if (handle_ != kInvalidHandle) Sys().CloseHandle(handle_);
  handle_ = kInvalidHandle;
}

void CFileAccess::Fail(uint32_t error) {
  if (failed_) return;  // the first failure is the one reported
  failed_ = true;
  error_ = error;
}

SysHandle CFileAccess::Open(const char16_t* path, const FileTarget* target) {
  SysHandle handle;
  uint32_t access = readOnly() ? kCheckAccess : kOpenAccess;
  uint32_t share = readOnly() ? kCheckShare : kShareNone;
  if (target != nullptr && target->name != nullptr) {
    handle =
        Sys().OpenFileInFolder(target->folder, target->name, access, share, kFlagSequentialScan);
  } else if (WideMode) {
    handle = Sys().CreateFileW(path, access, share, kOpenExisting, kFlagSequentialScan);
  } else {
    char ansi[kAnsiPathCapacity];
    int n = Sys().WideCharToMultiByte(kCodePageAnsi, 0, path, -1, ansi, kAnsiPathCapacity);
    if (n <= 0 || ansi[n - 1] != 0) {
      // Never open under a cut name: a path that does not fit is too long.
      uint32_t error = n <= 0 ? Sys().GetLastError() : kErrorFilenameTooLong;
      Fail(error == kErrorInsufficientBuffer ? kErrorFilenameTooLong : error);
      return kInvalidHandle;
    }
    // The ANSI page writes a character it lacks as a look-alike ("a" for an
    // a with macron) or as "?": only a name that comes back as it went names
    // this file rather than another.
    char16_t back[kAnsiPathCapacity];
    int units =
        Sys().MultiByteToWideChar(kCodePageAnsi, kPrecomposed, ansi, -1, back, kAnsiPathCapacity);
    int i = 0;
    while (i < units && back[i] == path[i] && path[i] != 0) ++i;
    if (units == 0 || i >= units || back[i] != 0 || path[i] != 0) {
      Fail(kErrorNoUnicodeTranslation);
      return kInvalidHandle;
    }
    handle = Sys().CreateFileA(ansi, access, share, kOpenExisting, kFlagSequentialScan);
  }
  if (handle == kInvalidHandle) Fail(Sys().GetLastError());
  return handle;
}

bool CFileAccess::Read(void* buffer, uint32_t* count) {
  uint32_t asked = *count;
  *count = 0;
  if (!Sys().SetFilePointerEx(handle_, 0, &position_, kFileCurrent)) {
    Fail(Sys().GetLastError());
    return false;
  }
  uint32_t done = 0;
  if (!Sys().ReadFile(handle_, buffer, asked, &done)) {
    Fail(Sys().GetLastError());
    return false;
  }
  *count = done;
  return true;
}

bool CFileAccess::WriteAt(uint64_t offset, const void* bytes, uint32_t count) {
  if (readOnly()) {
    Fail(kErrorAccessDenied);  // never written through a read-only open
    return false;
  }
  uint64_t kept = 0;
  if (!Sys().SetFilePointerEx(handle_, 0, &kept, kFileCurrent) ||
      !Sys().SetFilePointerEx(handle_, static_cast<int64_t>(offset), nullptr, kFileBegin)) {
    Fail(Sys().GetLastError());
    return false;
  }
  uint32_t written = 0;
  FilesChanged = true;  // even a failed write may have changed bytes
  if (!Sys().WriteFile(handle_, bytes, count, &written)) {
    Fail(Sys().GetLastError());
    return false;
  }
  if (written != count) {
    Fail(kErrorWriteFault);
    return false;
  }
  // Back to where reading left off.
  if (!Sys().SetFilePointerEx(handle_, static_cast<int64_t>(kept), nullptr, kFileBegin)) {
    Fail(Sys().GetLastError());
    return false;
  }
  return true;
}
