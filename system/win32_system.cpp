#include "system/win32_system.h"

#include <ole2.h>
#include <oleauto.h>
#include <shlobj.h>
#include <windows.h>

#include <cstring>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
static_assert(sizeof(Guid) == sizeof(GUID), "same layout as GUID");
static_assert(sizeof(SysHandle) == sizeof(HANDLE), "handles fit");

namespace {

HANDLE ToNative(SysHandle handle) { return reinterpret_cast<HANDLE>(handle); }
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

bool Win32System::CloseHandle(SysHandle handle) { return ::CloseHandle(ToNative(handle)) != FALSE; }

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
  IProgressDialog* dialog = nullptr;
  if (FAILED(::CoCreateInstance(kProgressDialogClass, nullptr, CLSCTX_INPROC_SERVER,
                                kProgressDialogInterface, reinterpret_cast<void**>(&dialog))) ||
      dialog == nullptr)
    return false;
  dialog->SetTitle(W(title));
  // The number of files is not known ahead: the bar only shows that work goes on.
  constexpr DWORD kFlags =
      PROGDLG_NORMAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE | PROGDLG_MARQUEEPROGRESS;
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
