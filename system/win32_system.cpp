#include "system/win32_system.h"

#include <ole2.h>
#include <oleauto.h>
#include <shlobj.h>
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
static_assert(sizeof(Guid) == sizeof(GUID), "same layout as GUID");
static_assert(sizeof(SysHandle) == sizeof(HANDLE), "handles fit");

namespace {

// A folder held for a walk: its handle and the entries the last listing
// call gave. Handed out as its address with bit 1 set: kernel handles are
// multiples of four, console handles (Windows 7) end in binary 11, and the
// pseudo handles (-1, -2, ...) lie above any heap address.
struct HeldFolder {
  HANDLE handle;
  ULONG filled;  // bytes of entries from the last listing call
  ULONG next;    // offset of the next entry to hand out
  bool pending;  // entries from next on are still to be handed out
  bool restart;  // the next listing call starts from the first entry
  alignas(8) unsigned char entries[64 * 1024];
};

constexpr SysHandle kFolderTag = 2;

HeldFolder* Held(SysHandle handle) {
  if ((handle & 3) != kFolderTag || handle > ~SysHandle(0xFFFF)) return nullptr;
  return reinterpret_cast<HeldFolder*>(handle & ~kFolderTag);
}

HANDLE ToNative(SysHandle handle) {
  HeldFolder* folder = Held(handle);
  return folder != nullptr ? folder->handle : reinterpret_cast<HANDLE>(handle);
}
SysHandle FromNative(HANDLE handle) { return reinterpret_cast<SysHandle>(handle); }
wchar_t* W(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

GUID ToNative(const Guid& guid) {
  GUID out;
  std::memcpy(&out, &guid, sizeof out);
  return out;
}

// Disk files only, as on POSIX: a name such as NUL, CON or COM1 opens a
// device in any folder, which would read nothing and pass for repaired.
// Such a handle is given back at once and the open fails as for a folder.
SysHandle DiskFileOnly(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidHandle;
  }
  return FromNative(handle);
}

}  // namespace

uint32_t Win32System::GetModuleFileNameW(void* module, char16_t* buffer, uint32_t size) {
  return ::GetModuleFileNameW(static_cast<HMODULE>(module), W(buffer), size);
}

uint32_t Win32System::GetModuleFileNameA(void* module, char* buffer, uint32_t size) {
  return ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

SysHandle Win32System::GetStdHandle(uint32_t which) { return FromNative(::GetStdHandle(which)); }

uint32_t Win32System::GetLastError() { return ::GetLastError(); }

void Win32System::OutputDebugStringA(const char* text) { ::OutputDebugStringA(text); }

uint32_t Win32System::GetTickCount() { return ::GetTickCount(); }

// A plain Sleep would block the apartment: incoming calls and the
// replies COM posts to this thread would wait with it.
void Win32System::Sleep(uint32_t milliseconds) {
  DWORD start = ::GetTickCount();
  for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = ::GetTickCount() - start) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
        return;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

SysHandle Win32System::CreateFileW(const char16_t* path, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags) {
  return DiskFileOnly(::CreateFileW(W(path), access, share, nullptr, disposition, flags, nullptr));
}

SysHandle Win32System::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags) {
  return DiskFileOnly(::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr));
}

bool Win32System::SetFilePointerEx(SysHandle file, int64_t distance, uint64_t* newPosition,
                                   uint32_t method) {
  LARGE_INTEGER move, now;
  move.QuadPart = distance;
  if (!::SetFilePointerEx(ToNative(file), move, &now, method)) return false;
  if (newPosition != nullptr) *newPosition = static_cast<uint64_t>(now.QuadPart);
  return true;
}

bool Win32System::ReadFile(SysHandle file, void* buffer, uint32_t count, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::ReadFile(ToNative(file), buffer, count, &n, nullptr);
  *done = n;
  return ok != FALSE;
}

bool Win32System::WriteFile(SysHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::WriteFile(ToNative(file), buffer, count, &n, nullptr);
  *done = n;
  return ok != FALSE;
}

bool Win32System::CloseHandle(SysHandle handle) {
  HeldFolder* folder = Held(handle);
  if (folder == nullptr) return ::CloseHandle(ToNative(handle)) != FALSE;
  BOOL closed = ::CloseHandle(folder->handle);
  DWORD error = ::GetLastError();
  ::HeapFree(::GetProcessHeap(), 0, folder);
  ::SetLastError(error);
  return closed != FALSE;
}

namespace {
void CopyFound(const WIN32_FIND_DATAW& found, FindData* data) {
  static_assert(sizeof data->cFileName == sizeof found.cFileName, "same name capacity");
  static_assert(sizeof data->cAlternateFileName == sizeof found.cAlternateFileName,
                "same short name capacity");
  data->attributes = found.dwFileAttributes;
  std::memcpy(data->cFileName, found.cFileName, sizeof data->cFileName);
  std::memcpy(data->cAlternateFileName, found.cAlternateFileName, sizeof data->cAlternateFileName);
}
}  // namespace

SysHandle Win32System::FindFirstFileW(const char16_t* pattern, FindData* data) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(W(pattern), &found);
  if (search != INVALID_HANDLE_VALUE) CopyFound(found, data);
  return FromNative(search);
}

bool Win32System::FindNextFileW(SysHandle search, FindData* data) {
  WIN32_FIND_DATAW found;
  if (::FindNextFileW(ToNative(search), &found) == FALSE) return false;
  CopyFound(found, data);
  return true;
}

bool Win32System::FindClose(SysHandle search) { return ::FindClose(ToNative(search)) != FALSE; }

uint32_t Win32System::GetFullPathNameW(const char16_t* path, uint32_t size, char16_t* buffer) {
  return ::GetFullPathNameW(W(path), size, W(buffer), nullptr);
}

namespace {

// The native calls open a name relative to a folder handle exactly as given
// (Win32 path parsing would drop a final dot or space and could be led
// through a link). Taken from ntdll at first use, which every process has.
using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using NtQueryDirectoryFileCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                  PIO_STATUS_BLOCK, PVOID, ULONG,
                                                  FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING,
                                                  BOOLEAN);
using RtlNtStatusToDosErrorCall = ULONG(NTAPI*)(NTSTATUS);

NtCreateFileCall ntCreateFile;
NtQueryDirectoryFileCall ntQueryDirectoryFile;
RtlNtStatusToDosErrorCall rtlNtStatusToDosError;

template <typename Call>
bool Find(HMODULE module, const char* name, Call* call) {
  *call = reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return *call != nullptr;
}

bool NativeCalls() {
  if (rtlNtStatusToDosError != nullptr) return true;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  NtCreateFileCall create;
  NtQueryDirectoryFileCall query;
  RtlNtStatusToDosErrorCall toError;
  if (ntdll == nullptr || !Find(ntdll, "NtCreateFile", &create) ||
      !Find(ntdll, "NtQueryDirectoryFile", &query) ||
      !Find(ntdll, "RtlNtStatusToDosError", &toError)) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  ntCreateFile = create;
  ntQueryDirectoryFile = query;
  rtlNtStatusToDosError = toError;
  return true;
}

constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kStatusNameInvalid = static_cast<NTSTATUS>(0xC0000033);

SysHandle Fail(DWORD error) {
  ::SetLastError(error);
  return kInvalidHandle;
}

bool FailFalse(DWORD error) {
  ::SetLastError(error);
  return false;
}

// One component as listed. A separator or stream colon would reach past
// the held folder (and through whatever link lies on the way); "." and ".."
// and an empty name would open the folder itself or its parent.
bool OneComponent(const char16_t* name, USHORT* bytes) {
  std::size_t length = 0;
  for (; name[length] != u'\0'; ++length) {
    char16_t c = name[length];
    if (c == u'\\' || c == u'/' || c == u':') return false;
    if (length >= 32767) return false;  // beyond what a counted name holds
  }
  if (length == 0 || (name[0] == u'.' && (length == 1 || (length == 2 && name[1] == u'.'))))
    return false;
  *bytes = static_cast<USHORT>(length * sizeof(char16_t));
  return true;
}

// Opens name relative to folder without following a reparse point at it.
// The status is the system's; a handle only when it succeeded.
NTSTATUS OpenRelative(SysHandle folder, const char16_t* name, ACCESS_MASK access, ULONG share,
                      ULONG options, HANDLE* opened) {
  USHORT bytes = 0;
  if (!OneComponent(name, &bytes)) return kStatusNameInvalid;
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(W(name));
  text.Length = bytes;
  text.MaximumLength = bytes;
  // No OBJ_CASE_INSENSITIVE: the name is the one listed, and in a
  // case-sensitive folder another case would be another file.
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, 0, ToNative(folder), nullptr);
  IO_STATUS_BLOCK status;
  *opened = nullptr;
  return ntCreateFile(opened, access, &attributes, &status, nullptr, 0, share, FILE_OPEN,
                      options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

// A reparse point opened as itself is never walked through; nor is
// anything that is not on a disk.
SysHandle PlainOrClosed(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return Fail(kErrorStoppedOnSymlink);
  }
  if (!::GetFileInformationByHandle(handle, &info)) {
    DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return Fail(error);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::CloseHandle(handle);
    return Fail(kErrorStoppedOnSymlink);
  }
  return FromNative(handle);
}

SysHandle HoldFolder(HANDLE handle) {
  auto* folder = static_cast<HeldFolder*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(HeldFolder)));
  if (folder == nullptr) {
    ::CloseHandle(handle);
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  folder->handle = handle;
  folder->filled = 0;
  folder->next = 0;
  folder->pending = false;
  folder->restart = false;
  return reinterpret_cast<SysHandle>(folder) | kFolderTag;
}

}  // namespace

SysHandle Win32System::OpenFolder(const char16_t* path) {
  // Following links: the user named this folder. No delete sharing: it
  // cannot be renamed, moved or replaced while it is held.
  HANDLE handle = ::CreateFileW(W(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::CloseHandle(handle);
    return Fail(kErrorDirectory);
  }
  return HoldFolder(handle);
}

SysHandle Win32System::OpenSubfolder(SysHandle folder, const char16_t* name) {
  if (Held(folder) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (!NativeCalls()) return kInvalidHandle;
  HANDLE handle;
  NTSTATUS status =
      OpenRelative(folder, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                   FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_DIRECTORY_FILE, &handle);
  if (status == kStatusNotADirectory) return Fail(kErrorStoppedOnSymlink);
  if (!NT_SUCCESS(status)) return Fail(rtlNtStatusToDosError(status));
  SysHandle plain = PlainOrClosed(handle);
  return plain == kInvalidHandle ? kInvalidHandle : HoldFolder(handle);
}

bool Win32System::ReadFolder(SysHandle folder, FindData* entry) {
  HeldFolder* held = Held(folder);
  if (held == nullptr) return FailFalse(ERROR_INVALID_HANDLE);
  if (!NativeCalls()) return false;
  constexpr std::size_t kNameAt = offsetof(FILE_BOTH_DIR_INFORMATION, FileName);
  for (;;) {
    if (!held->pending) {
      IO_STATUS_BLOCK done;
      NTSTATUS status = ntQueryDirectoryFile(
          held->handle, nullptr, nullptr, nullptr, &done, held->entries, sizeof held->entries,
          FileBothDirectoryInformation, FALSE, nullptr, held->restart ? TRUE : FALSE);
      held->restart = false;
      if (status == kStatusNoMoreFiles || status == kStatusNoSuchFile)
        return FailFalse(kErrorNoMoreFiles);
      if (!NT_SUCCESS(status)) return FailFalse(rtlNtStatusToDosError(status));
      if (done.Information < kNameAt || done.Information > sizeof held->entries)
        return FailFalse(kErrorNoMoreFiles);
      held->filled = static_cast<ULONG>(done.Information);
      held->next = 0;
      held->pending = true;
    }
    // Each entry is checked against what the call filled before it is read.
    const unsigned char* at = held->entries + held->next;
    const auto* info = reinterpret_cast<const FILE_BOTH_DIR_INFORMATION*>(at);
    ULONG room = held->filled - held->next;
    if (room < kNameAt || info->FileNameLength > room - kNameAt ||
        info->NextEntryOffset > room - kNameAt) {
      held->pending = false;
      return FailFalse(ERROR_INVALID_DATA);
    }
    if (info->NextEntryOffset == 0)
      held->pending = false;
    else
      held->next += info->NextEntryOffset;

    const auto* name = reinterpret_cast<const char16_t*>(at + kNameAt);
    std::size_t length = info->FileNameLength / sizeof(char16_t);
    if (length == 0) return FailFalse(ERROR_INVALID_NAME);
    if (name[0] == u'.' && (length == 1 || (length == 2 && name[1] == u'.'))) continue;
    // A cut name would be another file's name: the entry fails on its own
    // and the listing goes on after it.
    if (length >= sizeof entry->cFileName / sizeof(char16_t))
      return FailFalse(kErrorFilenameTooLong);
    for (std::size_t i = 0; i < length; ++i)
      if (name[i] == u'\0') return FailFalse(ERROR_INVALID_NAME);  // would end it early
    std::memcpy(entry->cFileName, name, length * sizeof(char16_t));
    entry->cFileName[length] = u'\0';
    std::size_t shortLength = static_cast<unsigned char>(info->ShortNameLength) / sizeof(char16_t);
    constexpr std::size_t kShortCapacity = sizeof info->ShortName / sizeof info->ShortName[0];
    if (shortLength > kShortCapacity) shortLength = kShortCapacity;
    std::memcpy(entry->cAlternateFileName, info->ShortName, shortLength * sizeof(char16_t));
    entry->cAlternateFileName[shortLength] = u'\0';
    entry->attributes = info->FileAttributes;
    return true;
  }
}

bool Win32System::RewindFolder(SysHandle folder) {
  HeldFolder* held = Held(folder);
  if (held == nullptr) return FailFalse(ERROR_INVALID_HANDLE);
  held->pending = false;
  held->restart = true;
  return true;
}

SysHandle Win32System::OpenFileInFolder(SysHandle folder, const char16_t* name, uint32_t access,
                                        uint32_t share, uint32_t flags) {
  if (Held(folder) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  // The hints CreateFileW knows; anything else (overlapped, no buffering,
  // delete on close) would change what the handle does.
  constexpr uint32_t kHints =
      FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_WRITE_THROUGH;
  if ((flags & 0xFFF00000u & ~(kHints | FILE_FLAG_OPEN_REPARSE_POINT)) != 0)
    return Fail(ERROR_INVALID_PARAMETER);
  ULONG options = FILE_NON_DIRECTORY_FILE;
  if (flags & FILE_FLAG_SEQUENTIAL_SCAN) options |= FILE_SEQUENTIAL_ONLY;
  if (flags & FILE_FLAG_RANDOM_ACCESS) options |= FILE_RANDOM_ACCESS;
  if (flags & FILE_FLAG_WRITE_THROUGH) options |= FILE_WRITE_THROUGH;
  if (!NativeCalls()) return kInvalidHandle;
  HANDLE handle;
  // The system maps GENERIC_READ and GENERIC_WRITE as CreateFileW does.
  NTSTATUS status = OpenRelative(folder, name, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, share,
                                 options, &handle);
  if (status == kStatusFileIsADirectory) return Fail(kErrorStoppedOnSymlink);
  if (!NT_SUCCESS(status)) return Fail(rtlNtStatusToDosError(status));
  return PlainOrClosed(handle);
}

bool Win32System::GetFileIdentity(SysHandle handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(ToNative(handle), &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool Win32System::GetFileSizeEx(SysHandle file, uint64_t* size) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(ToNative(file), &length)) return false;
  *size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

uint32_t Win32System::GetFileAttributesW(const char16_t* path) {
  DWORD attributes = ::GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return attributes;
  // A name such as NUL opens a device in any folder: said as one, as on
  // POSIX. An open without access asks nothing of the file's sharing.
  HANDLE handle = ::CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    if (::GetFileType(handle) != FILE_TYPE_DISK) attributes = kAttributeDevice;
    ::CloseHandle(handle);
  }
  return attributes;
}

int Win32System::MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text,
                                     int length, char16_t* out, int capacity) {
  return ::MultiByteToWideChar(codePage, flags, text, length, W(out), capacity);
}

int Win32System::WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text,
                                     int length, char* out, int capacity) {
  return ::WideCharToMultiByte(codePage, flags, W(text), length, out, capacity, nullptr, nullptr);
}

int Win32System::MessageBoxW(const char16_t* text, const char16_t* caption, uint32_t style) {
  return ::MessageBoxW(nullptr, W(text), W(caption), style);
}

int Win32System::MessageBoxA(const char* text, const char* caption, uint32_t style) {
  return ::MessageBoxA(nullptr, text, caption, style);
}

namespace {

IProgressDialog* Dialog(void* progress) { return static_cast<IProgressDialog*>(progress); }

// The shell's progress dialog, named here: the import library's copies of
// these identifiers come in one object with every other, 35 KB of them.
constexpr CLSID kProgressDialogClass = {
    0xF8383852, 0xFCD3, 0x11D1, {0xA6, 0xB9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};
constexpr IID kProgressDialogInterface = {
    0xEBBC7C04, 0x315E, 0x11D2, {0xB6, 0x2F, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

// The progress dialog draws on a thread of its own and StartProgressDialog
// waits until it has: where no window can be made (Wine without a display)
// it would wait for ever. Every interactive Windows session can make one.
bool CanMakeWindows() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  ::DestroyWindow(probe);
  return true;
}

}  // namespace

bool Win32System::ProgressStart(const char16_t* title) {
  if (progress_ != nullptr) return true;
  if (!CanMakeWindows()) return false;
  // A run that never reaches the host (a check) has not started COM, and the
  // dialog is a COM object. The run's own OleInitialize later answers S_FALSE,
  // a success; COM stays up for the rest of the process either way.
  if (!comStarted_) {
    comStarted_ = true;
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  IProgressDialog* dialog = nullptr;
  if (FAILED(::CoCreateInstance(kProgressDialogClass, nullptr, CLSCTX_INPROC_SERVER,
                                kProgressDialogInterface, reinterpret_cast<void**>(&dialog))) ||
      dialog == nullptr)
    return false;
  dialog->SetTitle(W(title));
  // No marquee: the bar shows how much of a large file has been read, and a
  // marquee, once started, is never taken off again (Wine).
  constexpr DWORD kFlags = PROGDLG_NORMAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE;
  if (FAILED(dialog->StartProgressDialog(nullptr, nullptr, kFlags, nullptr))) {
    dialog->Release();
    return false;
  }
  progress_ = dialog;
  return true;
}

void Win32System::ProgressUpdate(const char16_t* line1, const char16_t* line2) {
  if (progress_ == nullptr) return;
  Dialog(progress_)->SetLine(1, W(line1), TRUE, nullptr);  // a long path is shortened to fit
  Dialog(progress_)->SetLine(2, W(line2), FALSE, nullptr);
}

void Win32System::ProgressFraction(uint64_t done, uint64_t total) {
  if (progress_ == nullptr) return;
  // The bar's control counts in signed 32 bits: a file of 2 GiB or more
  // filled it at once (Wine), so both sides are scaled down to fit.
  for (; total > 0x7FFFFFFF; total >>= 1) done >>= 1;
  // An empty bar is none of one: the dialog has no use for a total of 0.
  Dialog(progress_)->SetProgress64(total != 0 ? done : 0, total != 0 ? total : 1);
}

bool Win32System::ProgressCancelled() {
  return progress_ != nullptr && Dialog(progress_)->HasUserCancelled() != FALSE;
}

void Win32System::ProgressStop() {
  if (progress_ == nullptr) return;
  Dialog(progress_)->StopProgressDialog();
  Dialog(progress_)->Release();
  progress_ = nullptr;
}

void* Win32System::Allocate(std::size_t bytes) { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }

void Win32System::Release(void* block) {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

int32_t Win32System::OleInitialize() { return ::OleInitialize(nullptr); }

int32_t Win32System::CLSIDFromProgID(const char16_t* progId, Guid* clsid) {
  CLSID found;
  HRESULT result = ::CLSIDFromProgID(W(progId), &found);
  if (SUCCEEDED(result)) std::memcpy(clsid, &found, sizeof *clsid);
  return result;
}

int32_t Win32System::CoCreateInstance(const Guid& clsid, uint32_t context, const Guid& iid,
                                      void** object) {
  *object = nullptr;
  GUID nativeClsid = ToNative(clsid);
  GUID nativeIid = ToNative(iid);
  void* dispatch = nullptr;
  HRESULT result = ::CoCreateInstance(nativeClsid, nullptr, context, nativeIid, &dispatch);
  // A server may answer success and give no object: nothing to wrap or to
  // give back, and the caller sees no object.
  if (SUCCEEDED(result) && dispatch != nullptr) {
    *object = wrap_ != nullptr ? wrap_(dispatch) : dispatch;
    // A wrapper that cannot be made is an activation that ran out of memory.
    if (*object == nullptr) {
      static_cast<IUnknown*>(dispatch)->Release();
      return E_OUTOFMEMORY;
    }
  }
  return result;
}

HostString Win32System::SysAllocString(const char16_t* text) {
  return reinterpret_cast<HostString>(::SysAllocString(W(text)));
}

HostString Win32System::SysAllocStringByteLen(const char* bytes, uint32_t length) {
  return reinterpret_cast<HostString>(::SysAllocStringByteLen(bytes, length));
}

uint32_t Win32System::GetLocalAppDataFolder(char16_t* buffer, uint32_t size) {
  // The variable, not the shell's folder call: shell32 is no import of ours.
  return ::GetEnvironmentVariableW(L"LOCALAPPDATA", W(buffer), size);
}

bool Win32System::CreateDirectoryW(const char16_t* path) {
  return ::CreateDirectoryW(W(path), nullptr) != FALSE;
}

bool Win32System::DeleteFileW(const char16_t* path) { return ::DeleteFileW(W(path)) != FALSE; }

void Win32System::GetLocalTime(LocalTime* time) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  *time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool Win32System::ShellExecuteOpen(const char16_t* path) {
  // shell32 is loaded only when the user asks for a file to be opened, so
  // that no run pays for it at start.
  HMODULE shell = ::LoadLibraryW(L"shell32.dll");
  if (shell == nullptr) return false;
  using Execute = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  FARPROC found = ::GetProcAddress(shell, "ShellExecuteW");
  Execute execute = nullptr;
  static_assert(sizeof execute == sizeof found, "function pointers");
  if (found != nullptr) std::memcpy(&execute, &found, sizeof execute);
  bool opened = false;
  DWORD error = ERROR_PROC_NOT_FOUND;
  if (execute != nullptr) {
    // Values up to 32 are errors, most of them Windows codes.
    auto result = reinterpret_cast<INT_PTR>(
        execute(nullptr, L"open", W(path), nullptr, nullptr, SW_SHOWNORMAL));
    opened = result > 32;
    error = result == 0 ? ERROR_NOT_ENOUGH_MEMORY : static_cast<DWORD>(result);
  }
  ::FreeLibrary(shell);
  if (!opened) ::SetLastError(error);
  return opened;
}
