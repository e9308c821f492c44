#include "messages/reason_line.h"

#include <cstring>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "system/capacities.h"
#include "system/system.h"

namespace {

#ifdef _WIN32
constexpr const char* kFolder =
    " is a folder. Drop it on \"Repair folders\" or \"Check documents\" to work on the "
    "documents in it.";
constexpr const char* kReadOnly =
    "The file is read-only. Clear Read-only in its Properties, then try again.";
constexpr const char* kDevice =
    "On Windows this name means a device (as NUL, CON and COM1 do in every folder), not a "
    "file. Rename it, then try again.";
constexpr const char* kBadName =
    "Its name ends in a dot or a space, which Windows programs cannot open. Rename it, then "
    "try again.";
#else
constexpr const char* kFolder = " is a folder; use -r to work on the documents in it.";
constexpr const char* kReadOnly =
    "The file is read-only. Make it writable (chmod u+w), then try again.";
constexpr const char* kDevice = "It is not a file but a device, a pipe or a socket.";
constexpr const char* kBadName = nullptr;  // every name but "." and ".." is one
#endif
// The other build of the droplet reaches a host registered for the other
// kind of program.
constexpr const char* kOtherArchitecture =
    sizeof(void*) == 8
        ? "The host editor may be registered for 32-bit programs only. Use the 32-bit droplet "
          "(the x86 download) instead."
        : "The host editor may be registered for 64-bit programs only. Use the 64-bit droplet "
          "(the x64 download) instead.";
constexpr int32_t kNoInterface = 0x4002;  // E_NOINTERFACE's low bits

uint32_t Attributes(const char* utf8) {
  char16_t path[kPathCapacity];
  if (Sys().MultiByteToWideChar(kCodePageUtf8, kErrInvalidChars, utf8, -1, path, kPathCapacity) ==
      0)
    return kInvalidAttributes;
  return Sys().GetFileAttributesW(path);
}

bool EndsInDotOrSpace(const char* name) {
  size_t n = std::strlen(name);
  return n > 0 && (name[n - 1] == '.' || name[n - 1] == ' ');
}

}  // namespace

Reason FailureReason(int32_t code) {
  const int32_t low = LowCode(code);
  if (CurrentFile == nullptr)
    return {IsCurrentMessage(msg::kConnect) && low == kNoInterface ? kOtherArchitecture : nullptr};
  const bool checking = IsCurrentMessage(msg::kCheckRead);
  switch (low) {
    case kErrorFileNotFound:
      return {"The file was not found; it may have been moved, renamed or deleted."};
    case kErrorPathNotFound:
      return {
          "The folder holding the file was not found; it may have been moved, renamed or "
          "deleted."};
    case kErrorAccessDenied: {
      uint32_t attributes = Attributes(CurrentFile);
      if (attributes == kInvalidAttributes) attributes = 0;
      if ((attributes & kAttributeDirectory) != 0)
        return FoldersWalked
                   ? Reason{"Access to the folder was denied: your account may not open it."}
                   : Reason{kFolder, true};
      if ((attributes & kAttributeDevice) != 0) return {kDevice};
      if ((attributes & kAttributeReadOnly) != 0 && !checking) return {kReadOnly};
      return {checking ? "Access to the file was denied: your account may not read it."
                       : "Access to the file was denied: your account may not change it."};
    }
    case kErrorSharingViolation:
    case 33:  // a part of it is locked
      return {"Another program is using the file. Close it there, then try again."};
    case kErrorDiskFull: return {"The disk is full. Free some space on it, then try again."};
    case kErrorFilenameTooLong:
      return {
          "The path is too long. Move the file to a folder with a shorter path, then try "
          "again."};
    case kErrorFileTooLarge:
      return {"The file is larger than the system lets a program open or write."};
    case kErrorInvalidName: return {EndsInDotOrSpace(CurrentFile) ? kBadName : nullptr};
    default: return {};
  }
}
