// The System seam: every platform operation the droplet needs, with the
// contract of the Windows call it is named after (handles, 64-bit file
// positions, Windows error codes, UTF-16 texts as char16_t).
// The entry installs the real implementation; tests install a fake.
#pragma once

#include <cstddef>
#include <cstdint>

using SysHandle = std::uintptr_t;
inline constexpr SysHandle kInvalidHandle = ~SysHandle(0);

// A counted string as the host receives it: UTF-16 units (or raw bytes)
// behind a 32-bit byte count, terminated by a NUL unit.
using HostString = char16_t*;

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
bool operator==(const Guid& a, const Guid& b);

// The same file under any of its names: its volume and its number there
// (POSIX: st_dev and st_ino; Windows: the volume serial and file index).
struct FileIdentity {
  uint64_t volume;
  uint64_t file;
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.file == b.file;
}

// A moment on the local clock, as GetLocalTime gives it.
struct LocalTime {
  uint16_t year, month, day;  // month and day from 1
  uint16_t hour, minute, second;
};

struct FindData {
  uint32_t attributes;  // kAttribute* bits
  char16_t cFileName[260];
  char16_t cAlternateFileName[14];  // the 8.3 short name; empty when there is none
};

// Values of the Windows constants the droplet passes.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uint32_t kShareRead = 1;
inline constexpr uint32_t kFlagSequentialScan = 0x08000000u;
inline constexpr uint32_t kFileBegin = 0;
inline constexpr uint32_t kFileCurrent = 1;
inline constexpr uint32_t kFileEnd = 2;
inline constexpr uint32_t kStdInputHandle = static_cast<uint32_t>(-10);
inline constexpr uint32_t kStdOutputHandle = static_cast<uint32_t>(-11);
inline constexpr uint32_t kCodePageAnsi = 0;
inline constexpr uint32_t kPrecomposed = 1;
inline constexpr uint32_t kCodePageUtf8 = 65001;
inline constexpr uint32_t kErrInvalidChars = 8;  // refuse bytes that are not UTF-8
inline constexpr uint32_t kMessageBoxWarningOk = 0x30;
inline constexpr uint32_t kContextLocalServer = 4;
inline constexpr uint32_t kMessageBoxInformationOk = 0x40;
inline constexpr uint32_t kMessageBoxYesNo = 4;  // ORed with an icon
inline constexpr uint32_t kMessageBoxButtons = 0xF;
inline constexpr int kIdYes = 6;           // MessageBoxW's answer for Yes
inline constexpr uint32_t kCreateNew = 1;  // CreateFileW: make it, or fail with 80

// File attributes as a directory search gives them.
inline constexpr uint32_t kAttributeReadOnly = 0x1;  // POSIX: no one may write it
inline constexpr uint32_t kAttributeHidden = 0x2;
inline constexpr uint32_t kAttributeSystem = 0x4;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeDevice = 0x40;  // POSIX: a FIFO, socket or device
inline constexpr uint32_t kAttributeNormal = 0x80;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;   // a link or junction
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;  // GetFileAttributesW failed

// Windows error codes used across the seam.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorWriteFault = 29;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorNoData = 232;  // a pipe whose reader has gone
inline constexpr uint32_t kErrorNegativeSeek = 131;
inline constexpr uint32_t kErrorFilenameTooLong = 206;
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorNoUnicodeTranslation = 1113;
inline constexpr uint32_t kErrorIoDevice = 1117;
inline constexpr uint32_t kErrorDirectory = 267;  // a search inside something not a folder
inline constexpr uint32_t kErrorFileTooLarge = 223;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorEnvVarNotFound = 203;
inline constexpr uint32_t kErrorNotSupported = 50;
// A walked name that is a link, junction or other reparse point, or not a
// regular file or folder at all: the walk never goes through it.
inline constexpr uint32_t kErrorStoppedOnSymlink = 681;

inline constexpr int32_t kServerExecFailure = static_cast<int32_t>(0x80080005u);
inline constexpr int32_t kClassStringInvalid = static_cast<int32_t>(0x800401F3u);
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154u);
inline constexpr int32_t kRegistryKeyMissing = static_cast<int32_t>(0x80040152u);
inline constexpr int32_t kOutOfMemoryResult = static_cast<int32_t>(0x8007000Eu);

class System {
 public:
  virtual ~System();

  // Process
  virtual uint32_t GetModuleFileNameW(void* module, char16_t* buffer, uint32_t size) = 0;
  virtual uint32_t GetModuleFileNameA(void* module, char* buffer, uint32_t size) = 0;
  virtual SysHandle GetStdHandle(uint32_t which) = 0;
  virtual uint32_t GetLastError() = 0;
  virtual void OutputDebugStringA(const char* text) = 0;
  // Milliseconds since some start, wrapping at 2^32: only differences count.
  virtual uint32_t GetTickCount() = 0;
  // Waits about that long. On Windows the thread's messages are dispatched
  // meanwhile, so that its apartment keeps serving calls.
  virtual void Sleep(uint32_t milliseconds) = 0;

  // Files. SetFilePointerEx moves by a signed 64-bit distance and gives the
  // new position (when newPosition is not null); a position before the start
  // fails with 131, and a failed move leaves the pointer where it was.
  // CreateFile opens disk files only: a device (NUL, CON, COM1; on POSIX a
  // FIFO, socket or device) fails with 5, as a folder does. The disposition
  // is kOpenExisting, or kCreateNew to make a file that is not there yet
  // (80 when it is).
  virtual SysHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags) = 0;
  virtual SysHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags) = 0;
  virtual bool SetFilePointerEx(SysHandle file, int64_t distance, uint64_t* newPosition,
                                uint32_t method) = 0;
  virtual bool ReadFile(SysHandle file, void* buffer, uint32_t count, uint32_t* done) = 0;
  virtual bool WriteFile(SysHandle file, const void* buffer, uint32_t count, uint32_t* done) = 0;
  virtual bool CloseHandle(SysHandle handle) = 0;
  // A search for a last component with '*' or '?' lists every match, one
  // per call: FindFirstFileW gives the first, FindNextFileW each further one
  // and fails with 18 after the last. A folder may list "." and ".." (Win32
  // does); on POSIX a name starting with "." is hidden and a symbolic link a
  // reparse point, as lstat sees it. A search inside a folder without
  // matches fails with 2; inside a missing folder or a file with another code.
  virtual SysHandle FindFirstFileW(const char16_t* pattern, FindData* data) = 0;
  virtual bool FindNextFileW(SysHandle search, FindData* data) = 0;
  virtual bool FindClose(SysHandle search) = 0;
  // The full path the open would resolve path to, worked out from the text
  // and the current folder alone. The length without the terminator; the
  // size needed, terminator included, when size is too small; 0 on failure.
  virtual uint32_t GetFullPathNameW(const char16_t* path, uint32_t size, char16_t* buffer) = 0;

  // Folders walked by handle, so that no name can be swapped for a link
  // between a listing and an open. A held folder cannot be renamed, moved or
  // replaced while it is open on Windows (no delete sharing); on POSIX every
  // open below it is relative to its descriptor. CloseHandle gives it back.
  // OpenFolder opens the folder at path, following links in path (the user
  // named it, as `find -H` does); 267 when path names a file.
  virtual SysHandle OpenFolder(const char16_t* path) = 0;
  // Opens the subfolder name (one component) of a held folder, never through
  // a link: 681 when name is, or has become, a link or reparse point, or is
  // not a folder at all; 123 when name is not one component (empty, with a
  // separator, "." or ".."), which would lead out of the held folder; other
  // failures with the system's code.
  virtual SysHandle OpenSubfolder(SysHandle folder, const char16_t* name) = 0;
  // The next entry of a held folder in the order the system keeps them, "."
  // and ".." left out; false with 18 after the last, or with another code.
  // attributes as a search gives them (a link is a reparse point, lstat-like;
  // on POSIX a name starting with "." is hidden). RewindFolder starts the
  // listing again from the first entry.
  virtual bool ReadFolder(SysHandle folder, FindData* entry) = 0;
  virtual bool RewindFolder(SysHandle folder) = 0;
  // Opens the file name (one component) of a held folder as CreateFileW
  // would (access, share, disposition kOpenExisting, flags), name used
  // exactly as listed (no final dot or space dropped), never through a link:
  // 681 when name is, or has become, a link or reparse point, or is not a
  // regular file (a folder, FIFO, socket or device); 123 as for
  // OpenSubfolder when name is not one component.
  virtual SysHandle OpenFileInFolder(SysHandle folder, const char16_t* name, uint32_t access,
                                     uint32_t share, uint32_t flags) = 0;
  // The identity of an open file or folder.
  virtual bool GetFileIdentity(SysHandle handle, FileIdentity* identity) = 0;
  // The length of an open file, in bytes.
  virtual bool GetFileSizeEx(SysHandle file, uint64_t* size) = 0;
  // The attributes of what path names, links followed (read-only, folder);
  // kInvalidAttributes on failure. Only for saying why a file failed.
  virtual uint32_t GetFileAttributesW(const char16_t* path) = 0;

  // Text. A length of -1 means "up to and including the terminator";
  // a capacity of 0 asks for the size needed.
  virtual int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length,
                                  char16_t* out, int capacity) = 0;
  virtual int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text,
                                  int length, char* out, int capacity) = 0;

  // User interface
  virtual int MessageBoxW(const char16_t* text, const char16_t* caption, uint32_t style) = 0;
  virtual int MessageBoxA(const char* text, const char* caption, uint32_t style) = 0;

  // Progress of a long run: the system's progress dialog (Windows) or one
  // line rewritten in place on standard error (POSIX, only when it is a
  // terminal). When and what to show is the caller's; these only show it.
  // ProgressStart gives false when nothing can be shown (no display, no
  // dialog, no terminal), and the run then goes on without. Update sets the
  // two lines (line2 may be empty); Cancelled tells whether the user asked to
  // stop; Stop takes it off the screen. All are harmless when not started.
  // Fraction fills the bar to done of total; a total of 0 leaves it empty.
  virtual bool ProgressStart(const char16_t* title) = 0;
  virtual void ProgressUpdate(const char16_t* line1, const char16_t* line2) = 0;
  virtual void ProgressFraction(uint64_t done, uint64_t total) = 0;
  virtual bool ProgressCancelled() = 0;
  virtual void ProgressStop() = 0;

  // Memory whose failure the droplet reports. Allocate gives nullptr on failure.
  virtual void* Allocate(std::size_t bytes) = 0;
  virtual void Release(void* block) = 0;

  // Automation. Results are HRESULTs; negative means failure. The object
  // that activation gives is opaque here: it is what the one who installed
  // the System made of it (the Win32 System's wrapper, the POSIX System's
  // factory), so that the seam knows nothing of the layer that uses it.
  virtual int32_t OleInitialize() = 0;
  virtual int32_t CLSIDFromProgID(const char16_t* progId, Guid* clsid) = 0;
  virtual int32_t CoCreateInstance(const Guid& clsid, uint32_t context, const Guid& iid,
                                   void** object) = 0;
  virtual HostString SysAllocString(const char16_t* text) = 0;
  virtual HostString SysAllocStringByteLen(const char* bytes, uint32_t length) = 0;

  // The user's own files the droplet writes (a run's full list).
  // The local application data folder, without a final separator (Windows:
  // the LOCALAPPDATA variable, as GetEnvironmentVariableW gives it; POSIX:
  // $XDG_DATA_HOME, or ~/.local/share). The length without the terminator;
  // the size needed, terminator included, when size is too small; 0 with
  // 203 when there is none.
  virtual uint32_t GetLocalAppDataFolder(char16_t* buffer, uint32_t size) = 0;
  // Makes one folder whose parent exists: 183 when it exists already, 3
  // when its parent is missing, other failures with the system's code.
  virtual bool CreateDirectoryW(const char16_t* path) = 0;
  // Removes a file: 2 when it is missing, 5 for a folder or a read-only
  // file, 32 while it is held open (POSIX removes it even so).
  virtual bool DeleteFileW(const char16_t* path) = 0;
  virtual void GetLocalTime(LocalTime* time) = 0;
  // Opens a file with the program associated with its type (ShellExecuteW
  // "open", shown normally); false with the code when none could be started
  // (31 when no program is associated; POSIX: 50, not supported).
  virtual bool ShellExecuteOpen(const char16_t* path) = 0;
};

// The System in force for this process (or for the current test).
System& Sys();

// Installs a System and returns the one it replaces.
System* InstallSystem(System* system);

// Installs a System for the lifetime of the object.
class ScopedSystem {
 public:
  explicit ScopedSystem(System& system) : previous_(InstallSystem(&system)) {}
  ~ScopedSystem() { InstallSystem(previous_); }
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;

 private:
  System* previous_;
};

// Byte count of a counted string (the 32-bit prefix in front of its text).
uint32_t HostStringByteLength(const char16_t* text);
