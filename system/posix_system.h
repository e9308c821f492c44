// The System over POSIX, keeping the Windows contract: Windows error codes,
// exclusive opens, whole reads, 64-bit file positions, UTF-8 as the ANSI
// code page, the message box on standard error.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "system/system.h"

class PosixSystem : public System {
 public:
  // Makes the object that CoCreateInstance hands out; nullptr when there is
  // no memory for it.
  using HostFactory = void* (*)();

  PosixSystem();
  ~PosixSystem() override;

  // Makes an in-process automation server answer to progId (at most 255
  // units). False when it does not fit or all kMaxHosts places are taken.
  bool RegisterHost(const char16_t* progId, const Guid& clsid, HostFactory factory);

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
  SysHandle Open(const char* path, uint32_t access, uint32_t share, uint32_t disposition);
  SysHandle Hold(int fd, const struct stat& st, bool wantWrite, uint32_t share);
  SysHandle HoldFolder(int fd);
  bool Fail(uint32_t error);

  uint32_t lastError_ = 0;
  void DrawProgress();

  bool progressShown_ = false;
  char progressTitle_[256] = {};
  std::string progressLine1_, progressLine2_;  // as last updated
  int progressPercent_ = -1;                   // of the current file read; -1: none
  // Fixed places: registering happens at start-up, where nothing may fail
  // for want of memory.
  static constexpr int kMaxHosts = 4;
  struct Registration {
    char16_t progId[256];
    Guid clsid;
    HostFactory factory;
  };
  Registration hosts_[kMaxHosts] = {};
  int hostCount_ = 0;
  std::vector<void*> strings_;  // counted strings, given back at exit
};
