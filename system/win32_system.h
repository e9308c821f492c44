// The System over the real Windows calls: a thin pass-through, except that
// opens take disk files only (as the POSIX System's do). Held folders are
// opened and listed with the native calls (ntdll), which take a name
// relative to a handle exactly as given.
#pragma once

#include "system/system.h"

class Win32System : public System {
 public:
  // Makes the interface pointer that activation returned into the object
  // CoCreateInstance hands out; nullptr when there is no memory for it.
  using ObjectWrapper = void* (*)(void* dispatch);

  // Without a wrapper, CoCreateInstance hands out the interface pointer itself.
  explicit Win32System(ObjectWrapper wrap = nullptr) : wrap_(wrap) {}

  uint32_t GetModuleFileNameW(void* module, char16_t* buffer, uint32_t size) override;
  uint32_t GetModuleFileNameA(void* module, char* buffer, uint32_t size) override;
  SysHandle GetStdHandle(uint32_t which) override;
  uint32_t GetLastError() override;
  void OutputDebugStringA(const char* text) override;
  uint32_t GetTickCount() override;
  void Sleep(uint32_t milliseconds) override;
  SysHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t share, uint32_t disposition,
                        uint32_t flags) override;
  SysHandle CreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                        uint32_t flags) override;
  bool SetFilePointerEx(SysHandle file, int64_t distance, uint64_t* newPosition,
                        uint32_t method) override;
  bool ReadFile(SysHandle file, void* buffer, uint32_t count, uint32_t* done) override;
  bool WriteFile(SysHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  bool CloseHandle(SysHandle handle) override;
  SysHandle FindFirstFileW(const char16_t* pattern, FindData* data) override;
  bool FindNextFileW(SysHandle search, FindData* data) override;
  bool FindClose(SysHandle search) override;
  uint32_t GetFullPathNameW(const char16_t* path, uint32_t size, char16_t* buffer) override;
  SysHandle OpenFolder(const char16_t* path) override;
  SysHandle OpenSubfolder(SysHandle folder, const char16_t* name) override;
  bool ReadFolder(SysHandle folder, FindData* entry) override;
  bool RewindFolder(SysHandle folder) override;
  SysHandle OpenFileInFolder(SysHandle folder, const char16_t* name, uint32_t access,
                             uint32_t share, uint32_t flags) override;
  bool GetFileIdentity(SysHandle handle, FileIdentity* identity) override;
  bool GetFileSizeEx(SysHandle file, uint64_t* size) override;
  uint32_t GetFileAttributesW(const char16_t* path) override;
  int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length,
                          char16_t* out, int capacity) override;
  int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* text, int length,
                          char* out, int capacity) override;
  int MessageBoxW(const char16_t* text, const char16_t* caption, uint32_t style) override;
  int MessageBoxA(const char* text, const char* caption, uint32_t style) override;
  bool ProgressStart(const char16_t* title) override;
  void ProgressUpdate(const char16_t* line1, const char16_t* line2) override;
  void ProgressFraction(uint64_t done, uint64_t total) override;
  bool ProgressCancelled() override;
  void ProgressStop() override;
  void* Allocate(std::size_t bytes) override;
  void Release(void* block) override;
  int32_t OleInitialize() override;
  int32_t CLSIDFromProgID(const char16_t* progId, Guid* clsid) override;
  int32_t CoCreateInstance(const Guid& clsid, uint32_t context, const Guid& iid,
                           void** object) override;
  HostString SysAllocString(const char16_t* text) override;
  HostString SysAllocStringByteLen(const char* bytes, uint32_t length) override;

  uint32_t GetLocalAppDataFolder(char16_t* buffer, uint32_t size) override;
  bool CreateDirectoryW(const char16_t* path) override;
  bool DeleteFileW(const char16_t* path) override;
  void GetLocalTime(LocalTime* time) override;
  bool ShellExecuteOpen(const char16_t* path) override;

 private:
  ObjectWrapper wrap_;
  void* progress_ = nullptr;  // the progress dialog's interface while it is shown
  bool comStarted_ = false;   // for the dialog, once
};
