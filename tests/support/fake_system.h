// An in-memory System with Windows semantics, a log of the calls made, and
// failure injection: any operation can fail at its Nth call with a chosen code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_objects.h"
#include "system/system.h"

enum class Op {
  GetModuleFileNameW, GetModuleFileNameA, GetStdHandle, CreateFileW, CreateFileA,
  SetFilePointerEx, ReadFile, WriteFile, CloseHandle, FindFirstFileW, FindClose, GetFullPathNameW,
  MultiByteToWideChar, WideCharToMultiByte, MessageBoxW, MessageBoxA, Allocate,
  OleInitialize, CLSIDFromProgID, CoCreateInstance, SysAllocString, SysAllocStringByteLen,
  FindNextFileW, OpenFolder, OpenSubfolder, ReadFolder, RewindFolder, OpenFileInFolder,
  GetFileIdentity, GetFileSizeEx, GetLocalAppDataFolder, CreateDirectoryW, DeleteFileW,
  ShellExecuteOpen, GetFileAttributesW, Count
};

class FakeSystem : public System {
 public:
  struct Node {
    std::u16string name;
    std::u16string shortName;
    bool directory = false;
    bool device = false;  // NUL, CON, COM1 and the like
    bool readOnly = false;
    bool open = false;
    bool exclusive = false;        // held open alone (share mode 0)
    uint32_t extraAttributes = 0;  // hidden, system, reparse point (a link)
    uint64_t identity = 0;         // the file's number on its volume
    Node* sameFileAs = nullptr;    // a second name (hard link) of that file
    std::vector<uint8_t> data;     // a file's bytes, unless it is sparse
    // A sparse file: its length and the pages written so far; the rest reads
    // as zero bytes, so a file of gigabytes takes a few pages of memory.
    bool sparse = false;
    uint64_t sparseLength = 0;
    std::map<uint64_t, std::vector<uint8_t>> pages;
    std::vector<std::unique_ptr<Node>> children;

    uint64_t Size() const { return sparse ? sparseLength : data.size(); }
    void ReadAt(uint64_t at, void* out, uint64_t count) const;  // within Size()
    void WriteAt(uint64_t at, const void* in, uint64_t count);  // grows the file
  };
  struct Box {
    bool wide;
    std::u16string text, caption;  // wide box
    std::string textA, captionA;   // ANSI box
    uint32_t style;
  };

  FakeSystem();
  ~FakeSystem() override;

  // --- the file tree: paths use backslashes; the first component is a drive.
  // Folders on the way are made as needed. Opens and searches resolve a path
  // as Windows does ("/", ".", "..", trailing periods and spaces), and a
  // reserved name such as NUL names a device in every folder.
  Node& AddFile(const std::u16string& path, std::vector<uint8_t> data = {},
                const std::u16string& shortName = u"");
  Node& AddFile(const std::u16string& path, const std::string& data,
                const std::u16string& shortName = u"");
  Node& AddFolder(const std::u16string& path, const std::u16string& shortName = u"");
  Node* Find(const std::u16string& path);            // by stored or short names, any case
  // The folder a new entry at path goes in, and its name there; nullptr
  // with the code (3) when there is no such folder.
  Node* ParentOf(const std::u16string& path, std::u16string* name, uint32_t* error);
  std::string Contents(const std::u16string& path);  // bytes of a file
  std::string Contents(const std::u16string& path, uint64_t at, uint64_t count);
  // A sparse file of length bytes, zero but for the pieces given at their offsets.
  Node& AddSparseFile(const std::u16string& path, uint64_t length,
                      const std::map<uint64_t, std::string>& pieces);
  std::u16string currentFolder = u"C:";  // where relative paths start

  // --- links and races, for the walk. AddLink makes path a link (a folder
  // link too, when toFolder): listed as a reparse point, refused by
  // OpenSubfolder and OpenFileInFolder. An existing entry there is replaced.
  // AddHardLink gives the file at existing a second name: one identity, one
  // content, one lock. Replace puts a fresh node, with a new identity, where
  // the entry at path was (an open handle keeps the old one), so that a test
  // can swap an entry between a listing and an open; beforeWalk runs at the
  // start of OpenSubfolder, ReadFolder and OpenFileInFolder to do so.
  Node& AddLink(const std::u16string& path, bool toFolder = false);
  Node& AddHardLink(const std::u16string& existing, const std::u16string& path);
  Node& Replace(const std::u16string& path);
  std::function<void(Op)> beforeWalk;

  // --- failure injection: the nth call (1-based) of op fails with error
  // (an HRESULT for the automation calls). A short write writes one byte
  // less than asked and reports success.
  void FailAt(Op op, int nth, uint32_t error);
  void ShortWriteAt(int nth);
  int Calls(Op op) const { return calls_[static_cast<int>(op)]; }

  // --- the log of file and memory calls, in order.
  std::vector<std::string> log;
  std::vector<std::string> LogOf(const std::string& prefix) const;

  // --- units the ANSI page lacks, written as a look-alike byte (as the
  // best-fit tables of Windows code pages do) by WideCharToMultiByte.
  std::map<char16_t, char> ansiBestFit;

  // --- the code page and flags of the latest MultiByteToWideChar call.
  uint32_t wideningCodePage = 0;
  uint32_t wideningFlags = 0;

  // --- process
  std::u16string modulePath = u"C:\\Tools\\Repair.exe";
  bool wideModuleNameFails = false;
  std::vector<Box> boxes;
  int boxAnswer = 1;  // what every box answers (IDOK; kIdYes for Yes)
  int stdinReads = 0;

  // --- the clock: Sleep only moves it on, and every pause is kept.
  uint32_t tickCount = 0;
  std::vector<uint32_t> sleeps;

  // --- progress, as the user would see it: "start TITLE", "LINE1 | LINE2",
  // "stop"; a start that fails (progressFails) is logged "start failed"; a
  // box is logged "box", or "box over the progress" while that shows.
  // ProgressCancelled answers true from its cancelAt-th call on (0: never).
  // ticksPerRead moves the clock on with each read of a file. The bar is
  // logged apart, as "N%" of the file read or "empty".
  std::vector<std::string> progress;
  std::vector<std::string> bar;
  bool progressFails = false;
  int cancelAt = 0;
  uint32_t ticksPerRead = 0;

  // --- the user's folders and clock: an empty localAppData has none (203).
  // Files opened with their program are kept in opened, and logged.
  std::u16string localAppData = u"C:\\Users\\Ann\\AppData\\Local";
  LocalTime localTime = {2026, 12, 8, 23, 15, 2};
  std::vector<std::u16string> opened;

  // --- automation
  int32_t oleResult = 0;
  int32_t clsidResult = 0;
  int32_t createResult = 0;
  Guid clsid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  HostObject* hostObject = nullptr;
  std::u16string progId;  // the identifier asked for
  uint32_t createContext = 0;
  Guid createIid = {};

  int LiveAllocations() const { return static_cast<int>(allocations_.size()); }

  uint32_t GetModuleFileNameW(void* module, char16_t* buffer, uint32_t size) override;
  uint32_t GetModuleFileNameA(void* module, char* buffer, uint32_t size) override;
  SysHandle GetStdHandle(uint32_t which) override;
  uint32_t GetLastError() override { return lastError_; }
  void OutputDebugStringA(const char*) override {}
  uint32_t GetTickCount() override { return tickCount; }
  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    tickCount += milliseconds;
  }
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
  struct Handle {
    Node* node;
    uint64_t position;
    bool search;
    bool stdinput;
    std::vector<Node*> matches = {};  // a wildcard search's further answers
    size_t next = 0;                  // of matches, or of a held folder's children
    bool folder = false;              // a folder held for a walk
  };
  struct Injection {
    Op op;
    int nth;
    uint32_t error;
    bool shortWrite;
  };

  bool Injected(Op op, Injection* hit = nullptr);  // counts the call
  SysHandle Open(const std::u16string& path, uint32_t access, uint32_t share, uint32_t disposition,
                 const char* opName);
  Node* Resolve(const std::u16string& path, bool* folderMissing);
  Node& Make(const std::u16string& path, bool directory, const std::u16string& shortName);
  Handle* FromHandle(SysHandle handle);
  Handle* FolderHandle(SysHandle handle);
  Node* WalkedEntry(Op op, const char* verb, SysHandle folder, const char16_t* name,
                    bool wantFolder, std::string* line);
  Node* Child(Node* folder, const std::u16string& name);
  SysHandle Hold(Node* node, uint32_t access, uint32_t share, const std::string& line);
  HostString MakeCounted(const char* bytes, uint32_t length);
  void Found(const Node& node, const std::u16string& name, FindData* data);

  Node root_;                                    // children: the drives
  std::vector<std::unique_ptr<Node>> replaced_;  // kept for the handles on them
  uint64_t nextIdentity_ = 1;
  Node device_;  // what every reserved device name opens
  std::map<SysHandle, Handle> handles_;
  SysHandle nextHandle_ = 0x100;
  uint32_t lastError_ = 0;
  bool progressShown_ = false;
  int cancelQueries_ = 0;
  int calls_[static_cast<int>(Op::Count)] = {};
  std::vector<Injection> injections_;
  std::map<void*, std::size_t> allocations_;
  std::vector<void*> strings_;
};

// UTF-16 / UTF-8 helpers for tests.
std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& text);
