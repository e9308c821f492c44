#include "driver/file_arguments.h"

#include <algorithm>
#include <cstring>

#include "driver/driver.h"
#include "driver/long_path.h"
#include "host/host_call.h"
#include "host/host_objects.h"
#include "messages/messages.h"
#include "messages/progress.h"
#include "messages/run_tally.h"
#include "messages/text_conversion.h"
#include "messages/trace.h"
#include "repair/repair_file.h"
#include "settings/droplet_settings.h"
#include "system/system.h"
#include "system/text16.h"

namespace {

// The host runs in a folder of its own: a relative name is made full, as the
// open resolves it, and the open then uses the same full path. A full path
// too long for the system or for the path buffer is refused by name; where
// the system cannot say otherwise, the path stays as given and the open
// decides.
uint32_t MakeFullPath(char16_t* path) {
  static char16_t full[kPathCapacity];
  uint32_t length = Sys().GetFullPathNameW(path, kPathCapacity, full);
  if (length >= static_cast<uint32_t>(kPathCapacity)) return kErrorFilenameTooLong;
  if (length == 0 && Sys().GetLastError() == kErrorFilenameTooLong) return kErrorFilenameTooLong;
  if (length != 0) std::memcpy(path, full, (length + 1) * sizeof(char16_t));
  return 0;
}

}  // namespace

size_t HeldListsBudget = 1 << 20;

namespace {

constexpr char16_t kSeparator = kModulePathSeparator;
constexpr int kNameCapacity = sizeof FindData::cFileName / sizeof(char16_t);
// A found file's path before its capacity is checked: a folder path and a name.
constexpr int kFoundPathCapacity = kPathCapacity + kNameCapacity + 2;

bool KeepsGoing() { return Settings.keepGoing || Settings.check; }

// A file failed with code, its message in CurrentMessage: counted, and the
// end of the walk unless the run keeps going.
int32_t FileFailed(int32_t code) {
  NoteFile({CurrentFile, code, 0});
  if (!KeepsGoing()) return code;
  CurrentFile = nullptr;
  return 0;
}

// The per-file point of the walk, for named and found files alike: path is
// the full path (CurrentFile names the file to the user). Repairs the file
// (or, checking, counts its damaged values) and lists it. 0 to go on, or
// the code that ends the walk.
int32_t HandleFile(const char16_t* path, HostList* list) {
  // A cancel is no failure of the file: it is neither counted nor remembered.
  if (int32_t r = ProgressNextFile(CurrentFile); r != 0) return r;
  ToNarrowTrace(path);
  TraceHook("\n");
  uint64_t damaged = 0;
  int32_t result = Settings.check ? CheckFile(path, &damaged) : RepairFile(path, &damaged);
  if (result != 0) return FileFailed(result);
  if (Settings.check) {
    NoteFile({CurrentFile, 0, damaged});
    CurrentFile = nullptr;
    return 0;
  }
  TraceHook("Adding path\n");
  HostString counted = Sys().SysAllocString(path);
  if (counted == nullptr) return OutOfMemoryFailure();
  // Counted before the host takes it: the file is repaired in place even if
  // the host then fails, and the context line says so.
  NoteFile({CurrentFile, 0, damaged});
  CurrentFile = nullptr;  // a failure from here on is the host's, not the file's
  return Sent([&] { return list->AddPathItem(counted); });
}

// Names a found path to the user (UTF-8, in a buffer that lives on).
void NameFound(const char16_t* path) {
  static char name[kTallyPathCapacity];
  if (Sys().WideCharToMultiByte(kCodePageUtf8, 0, path, -1, name, sizeof name) == 0) name[0] = 0;
  name[sizeof name - 1] = 0;
  CurrentFile = name;
}

// folder, a separator unless it ends with one, and name, into out
// (capacity units); the length, or -1 when it does not fit.
int Join(const char16_t* folder, const char16_t* name, char16_t* out, int capacity) {
  int f = TextLength(folder), n = TextLength(name);
  bool separate = f > 0 && folder[f - 1] != kSeparator;
  int total = f + (separate ? 1 : 0) + n;
  if (total >= capacity) return -1;
  std::memcpy(out, folder, static_cast<size_t>(f) * sizeof(char16_t));
  if (separate) out[f] = kSeparator;
  std::memcpy(out + total - n, name, static_cast<size_t>(n + 1) * sizeof(char16_t));
  return total;
}

// Ordinal name order: by units, and on Windows blind to the case of ASCII
// letters (names that differ only there then go by their units).
int CompareNames(const char16_t* a, const char16_t* b) {
  auto fold = [](char16_t c) {
#ifdef _WIN32
    return FoldAscii(c);
#else
    return c;
#endif
  };
  const char16_t *p = a, *q = b;
  for (; *p != 0 && fold(*p) == fold(*q); ++p, ++q) {
  }
  if (fold(*p) != fold(*q)) return fold(*p) < fold(*q) ? -1 : 1;
  for (p = a, q = b; *p != 0 && *p == *q; ++p, ++q) {
  }
  return *p == *q ? 0 : (*p < *q ? -1 : 1);
}

// Only regular files and folders are walked: not ".", "..", hidden or
// system entries, links of any kind (never followed), or devices.
bool Walked(const FindData& entry) {
  const char16_t* n = entry.cFileName;
  if (n[0] == u'.' && (n[1] == 0 || (n[1] == u'.' && n[2] == 0))) return false;
  return (entry.attributes &
          (kAttributeHidden | kAttributeSystem | kAttributeReparsePoint | kAttributeDevice)) == 0;
}

// One folder's entries, sorted: the only list the walk holds.
class CFolderEntries {
 public:
  CFolderEntries() = default;
  ~CFolderEntries() { Release(); }

  // Gives the memory back; the list is empty after it.
  void Release() {
    Sys().Release(names_);
    Sys().Release(index_);
    names_ = nullptr;
    index_ = nullptr;
    used_ = namesCapacity_ = indexCapacity_ = 0;
    count_ = 0;
  }
  size_t bytes() const { return namesCapacity_ * sizeof(char16_t) + indexCapacity_ * 4; }
  CFolderEntries(const CFolderEntries&) = delete;
  CFolderEntries& operator=(const CFolderEntries&) = delete;

  // Lists folder's walked entries that sort after `after` (all when null).
  // 0, or the failure's code with its message (the folder named by caller).
  int32_t List(const char16_t* folder, const char16_t* after) {
    count_ = 0;
    used_ = 0;
    char16_t pattern[kPathCapacity];
    if (Join(folder, u"*", pattern, kPathCapacity) < 0) return OpenFailure(kErrorFilenameTooLong);
    FindData entry;
    SysHandle search = Sys().FindFirstFileW(pattern, &entry);
    if (search == kInvalidHandle) {
      uint32_t error = Sys().GetLastError();
      return error == kErrorFileNotFound ? 0 : OpenFailure(error);  // 2: nothing in it
    }
    uint32_t error = kErrorNoMoreFiles;
    do {
      if (!Walked(entry) || (after != nullptr && CompareNames(entry.cFileName, after) <= 0))
        continue;
      if (!Add(entry.cFileName, (entry.attributes & kAttributeDirectory) != 0)) {
        Sys().FindClose(search);
        return OutOfMemoryFailure();
      }
    } while (Sys().FindNextFileW(search, &entry) || (error = Sys().GetLastError(), false));
    Sys().FindClose(search);
    if (error != kErrorNoMoreFiles) return OpenFailure(error);
    const char16_t* names = names_;
    std::sort(index_, index_ + count_, [names](uint32_t a, uint32_t b) {
      return CompareNames(names + (a & kOffset), names + (b & kOffset)) < 0;
    });
    return 0;
  }

  uint32_t count() const { return count_; }
  const char16_t* Name(uint32_t i) const { return names_ + (index_[i] & kOffset); }
  bool IsFolder(uint32_t i) const { return (index_[i] & kFolderBit) != 0; }

 private:
  static constexpr uint32_t kFolderBit = 0x80000000u;
  static constexpr uint32_t kOffset = ~kFolderBit;

  // Grows *block (of *capacity elements) to hold at least need of them.
  template <typename T>
  static bool Grow(T** block, size_t* capacity, size_t need) {
    if (need <= *capacity) return true;
    size_t grown = std::max(need, *capacity * 2 + 256);
    auto* bigger = static_cast<T*>(Sys().Allocate(grown * sizeof(T)));
    if (bigger == nullptr) return false;
    if (*block != nullptr) std::memcpy(bigger, *block, *capacity * sizeof(T));
    Sys().Release(*block);
    *block = bigger;
    *capacity = grown;
    return true;
  }

  bool Add(const char16_t* name, bool folder) {
    size_t n = static_cast<size_t>(TextLength(name)) + 1;
    if (used_ + n > kOffset || !Grow(&names_, &namesCapacity_, used_ + n) ||
        !Grow(&index_, &indexCapacity_, count_ + 1))
      return false;
    std::memcpy(names_ + used_, name, n * sizeof(char16_t));
    index_[count_++] = static_cast<uint32_t>(used_) | (folder ? kFolderBit : 0);
    used_ += n;
    return true;
  }

  char16_t* names_ = nullptr;
  size_t used_ = 0, namesCapacity_ = 0;
  uint32_t* index_ = nullptr;
  size_t indexCapacity_ = 0;
  uint32_t count_ = 0;
};

// Walks the folder in `folder` (kPathCapacity units, shared down the walk;
// a subfolder's path extends it and is cut back after) depth first, each
// folder's entries in name order, a subfolder's files where its name falls.
// 0, or the code that ends the walk.
int32_t WalkFolder(char16_t* folder, HostList* list, size_t* held) {
  static char16_t found[kFoundPathCapacity];
  char16_t after[kNameCapacity];
  bool resume = false;
  int length = TextLength(folder);
  CFolderEntries entries;
  for (;;) {
    if (int32_t r = ProgressGoOn(); r != 0) return r;  // a big tree stops between folders too
    if (int32_t r = entries.List(folder, resume ? after : nullptr); r != 0) {
      NameFound(folder);  // an unreadable folder is named with the system's code
      return FileFailed(r);
    }
    bool listAgain = false;
    for (uint32_t i = 0; i < entries.count() && !listAgain; ++i) {
      int n = Join(folder, entries.Name(i), found, kFoundPathCapacity);
      if (n < 0 || n >= kPathCapacity) {
        NameFound(found);
        if (int32_t r = FileFailed(OpenFailure(kErrorFilenameTooLong)); r != 0) return r;
      } else if (entries.IsFolder(i)) {
        size_t kept = entries.bytes();
        listAgain = *held + kept > HeldListsBudget;
        if (listAgain) {
          std::memcpy(after, entries.Name(i),
                      static_cast<size_t>(TextLength(entries.Name(i)) + 1) * sizeof(char16_t));
          entries.Release();
          kept = 0;
        }
        std::memcpy(folder, found, static_cast<size_t>(n + 1) * sizeof(char16_t));
        *held += kept;
        int32_t r = WalkFolder(folder, list, held);
        *held -= kept;
        folder[length] = 0;
        if (r != 0) return r;
      } else {
        NameFound(found);
        if (int32_t r = HandleFile(found, list); r != 0) return r;
      }
    }
    if (!listAgain) return 0;
    resume = true;
  }
}

// A named argument, with recursive on: a folder is walked, anything else
// goes the way of a file. A name with a wildcard is never a folder here.
int32_t HandleNamed(const char16_t* path, HostList* list) {
  int n = TextLength(path);
  bool folder = n > 0 && path[n - 1] == kSeparator;
  bool wildcard = false;
  for (int i = 0; i < n; ++i) wildcard = wildcard || path[i] == u'*' || path[i] == u'?';
  if (!folder && !wildcard) {
    FindData entry;
    SysHandle search = Sys().FindFirstFileW(path, &entry);
    if (search != kInvalidHandle) {
      folder = (entry.attributes & kAttributeDirectory) != 0;
      Sys().FindClose(search);
    }
  }
  if (!folder) return HandleFile(path, list);
  // A folder's files are named to the user by their full paths.
  static char16_t walked[kPathCapacity];
  std::memcpy(walked, path, static_cast<size_t>(n + 1) * sizeof(char16_t));
  size_t held = 0;
  return WalkFolder(walked, list, &held);
}

}  // namespace

int32_t WalkFileArguments(char* tail, HostList* list) {
  char token[kTokenCapacity];
  char16_t path[kPathCapacity];

  char* position = tail;
  while (*position == ' ') ++position;

  while (*position != 0) {
    bool quoted = *position == '"';
    char delimiter = quoted ? '"' : ' ';
    if (quoted) ++position;

    char* end = std::strchr(position, delimiter);
    if (end != nullptr) *end = 0;
    CurrentFile = position;
    if (int32_t r = ProgressGoOn(); r != 0) return r;  // stopped by the user

    // A name that cannot be held or converted exactly is reported like a
    // file that cannot be opened: skipping it would send the host less than
    // the user dropped, and converting it loosely would name another file.
    size_t length = std::strlen(position);
    uint32_t error = length >= static_cast<size_t>(kTokenCapacity) ? kErrorFilenameTooLong : 0;
    if (error == 0) {
      std::memcpy(token, position, length + 1);
      error = ToWideFromUtf8(token, path, kPathCapacity);
    }
    if (error == 0) {
      if (!quoted) ExpandLongPath(path);
      error = MakeFullPath(path);
    }
    if (error != 0) {
      if (int32_t r = FileFailed(OpenFailure(error)); r != 0) return r;
    } else if (int32_t r = Settings.recursive ? HandleNamed(path, list) : HandleFile(path, list);
               r != 0) {
      return r;
    }

    if (end == nullptr || end[1] == 0) break;
    position = end + 1;
    while (*position == ' ') ++position;
  }
  return 0;
}
