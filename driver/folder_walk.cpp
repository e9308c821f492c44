#include "driver/folder_walk.h"

#include <algorithm>
#include <cstring>

#include "driver/driver.h"
#include "driver/file_point.h"
#include "messages/messages.h"
#include "messages/progress.h"
#include "system/system.h"
#include "system/text16.h"

size_t HeldListsBudget = 1 << 20;

namespace {

constexpr char16_t kSeparator = kModulePathSeparator;
constexpr int kNameCapacity = sizeof FindData::cFileName / sizeof(char16_t);
// A found file's path before its capacity is checked: a folder path and a name.
constexpr int kFoundPathCapacity = kPathCapacity + kNameCapacity + 2;

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

#ifdef _WIN32
// Ordinal name order, blind to the case of ASCII letters; names that differ
// only there go by their units.
int CompareNames(const char16_t* a, const char16_t* b) {
  const char16_t *p = a, *q = b;
  for (; *p != 0 && FoldAscii(*p) == FoldAscii(*q); ++p, ++q) {
  }
  if (FoldAscii(*p) != FoldAscii(*q)) return FoldAscii(*p) < FoldAscii(*q) ? -1 : 1;
  for (p = a, q = b; *p != 0 && *p == *q; ++p, ++q) {
  }
  return *p == *q ? 0 : (*p < *q ? -1 : 1);
}

// Win32 path parsing drops a final dot or space from a name: given this
// entry's path, the host would open its twin without them, or nothing.
bool EndsInDotOrSpace(const char16_t* name) {
  int n = TextLength(name);
  return n > 0 && (name[n - 1] == u'.' || name[n - 1] == u' ');
}
#else
// The bytes of a name as the file system holds it, one at a time: UTF-8,
// where a byte that was not UTF-8 comes back from its stand-in (U+DC80 to
// U+DCFF). -1 after the last.
class CNameBytes {
 public:
  explicit CNameBytes(const char16_t* name) : p_(name) {}
  int Next() {
    if (at_ < count_) return bytes_[at_++];
    if (*p_ == 0) return -1;
    uint32_t c = *p_++;
    if (c >= 0xDC80 && c <= 0xDCFF) return static_cast<int>(c - 0xDC00);
    if (c >= 0xD800 && c <= 0xDBFF && *p_ >= 0xDC00 && *p_ <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (*p_++ - 0xDC00);
    if (c < 0x80) return static_cast<int>(c);
    count_ = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (int i = count_ - 1; i > 0; --i, c >>= 6)
      bytes_[i] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    bytes_[0] = static_cast<uint8_t>((0xF00 >> count_) | c);
    at_ = 1;
    return bytes_[0];
  }

 private:
  const char16_t* p_;
  uint8_t bytes_[4] = {};
  int count_ = 0, at_ = 0;
};

// Byte order, as `LC_ALL=C sort` gives it.
int CompareNames(const char16_t* a, const char16_t* b) {
  CNameBytes x(a), y(b);
  for (;;) {
    int p = x.Next(), q = y.Next();
    if (p != q) return p < q ? -1 : 1;
    if (p < 0) return 0;
  }
}
#endif

// Only regular files and folders are walked: not hidden or system entries,
// links of any kind (never followed), or devices.
bool Walked(const FindData& entry) {
  return (entry.attributes &
          (kAttributeHidden | kAttributeSystem | kAttributeReparsePoint | kAttributeDevice)) == 0;
}

// One folder's entries, sorted.
class CFolderEntries {
 public:
  CFolderEntries() = default;
  ~CFolderEntries() { Release(); }
  CFolderEntries(const CFolderEntries&) = delete;
  CFolderEntries& operator=(const CFolderEntries&) = delete;

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

  // Lists the held folder's walked entries that sort after `after` (all when
  // null), from its first entry (again: it was listed before). 0, or the
  // failure's code with its message (the folder named by the caller), or
  // kRunCancelled.
  int32_t List(SysHandle folder, const char16_t* after, bool again) {
    count_ = 0;
    used_ = 0;
    if (again && !Sys().RewindFolder(folder)) return OpenFailure(Sys().GetLastError());
    FindData entry;
    for (uint32_t read = 1; Sys().ReadFolder(folder, &entry); ++read) {
      // A folder of a million entries takes seconds to list: Cancel is heard there too.
      if (read % 1024 == 0)
        if (int32_t r = ProgressGoOn(); r != 0) return r;
      if (!Walked(entry) || (after != nullptr && CompareNames(entry.cFileName, after) <= 0))
        continue;
      if (!Add(entry.cFileName, (entry.attributes & kAttributeDirectory) != 0))
        return OutOfMemoryFailure();
    }
    if (uint32_t error = Sys().GetLastError(); error != kErrorNoMoreFiles)
      return OpenFailure(error);
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

// A found entry that cannot be handled: named, counted, and the end of the
// walk unless the run keeps going.
int32_t FoundFailed(const char16_t* path, uint32_t error) {
  NameFound(path);
  return FileFailed(OpenFailure(error));
}

// Walks the held folder whose path is in `folder` (kPathCapacity units,
// shared down the walk; a subfolder's path extends it and is cut back
// after), depth first, a subfolder's files where its name falls. held: the
// bytes of the lists kept above this folder. 0, or the code that ends the
// walk.
int32_t WalkFolder(SysHandle handle, char16_t* folder, HostList* list, size_t* held) {
  static char16_t found[kFoundPathCapacity];
  char16_t after[kNameCapacity];
  bool again = false;
  int length = TextLength(folder);
  CFolderEntries entries;
  for (;;) {
    if (int32_t r = ProgressGoOn(); r != 0) return r;  // a big tree stops between folders too
    if (int32_t r = entries.List(handle, again ? after : nullptr, again); r != 0) {
      if (r == kRunCancelled) return r;
      NameFound(folder);  // an unreadable folder is named with the system's code
      return FileFailed(r);
    }
    bool listAgain = false;
    for (uint32_t i = 0; i < entries.count() && !listAgain; ++i) {
      const char16_t* name = entries.Name(i);
      int n = Join(folder, name, found, kFoundPathCapacity);
      if (n < 0 || n >= kPathCapacity) {
        if (int32_t r = FoundFailed(found, kErrorFilenameTooLong); r != 0) return r;
        continue;
      }
#ifdef _WIN32
      if (EndsInDotOrSpace(name)) {
        if (int32_t r = FoundFailed(found, kErrorInvalidName); r != 0) return r;
        continue;
      }
#endif
      if (!entries.IsFolder(i)) {
        NameFound(found);
        if (int32_t r = HandleFile(found, list, handle, name); r != 0) return r;
        continue;
      }
      SysHandle subfolder = Sys().OpenSubfolder(handle, name);
      if (subfolder == kInvalidHandle) {
        uint32_t error = Sys().GetLastError();
        if (error == kErrorStoppedOnSymlink) continue;  // a link now: never followed
        if (int32_t r = FoundFailed(found, error); r != 0) return r;
        continue;
      }
      if (!FirstVisit(subfolder)) {
        Sys().CloseHandle(subfolder);
        continue;
      }
      size_t kept = entries.bytes();
      listAgain = *held > HeldListsBudget;
      if (listAgain) {
        std::memcpy(after, name, static_cast<size_t>(TextLength(name) + 1) * sizeof(char16_t));
        entries.Release();
        kept = 0;
      }
      std::memcpy(folder, found, static_cast<size_t>(n + 1) * sizeof(char16_t));
      *held += kept;
      int32_t r = WalkFolder(subfolder, folder, list, held);
      *held -= kept;
      Sys().CloseHandle(subfolder);
      folder[length] = 0;
      if (r != 0) return r;
    }
    if (!listAgain) return 0;
    again = true;
  }
}

}  // namespace

int32_t WalkNamed(const char16_t* path, HostList* list) {
  int n = TextLength(path);
#ifdef _WIN32
  // No Windows name holds '*' or '?': such a path is a pattern, which the
  // walk never takes for a folder. The open refuses it by name.
  for (int i = 0; i < n; ++i)
    if (path[i] == u'*' || path[i] == u'?') return HandleFile(path, list);
#endif
  SysHandle folder = Sys().OpenFolder(path);
  if (folder == kInvalidHandle) {
    uint32_t error = Sys().GetLastError();
    // A path that ends in a separator names a folder: one that cannot be
    // opened is named with the system's code. Anything else is a file, or
    // nothing, and its open says which.
    if (n > 0 && path[n - 1] == kSeparator && error != kErrorDirectory) {
      NameFound(path);
      return FileFailed(OpenFailure(error));
    }
    return HandleFile(path, list);
  }
  if (!FirstVisit(folder)) {
    Sys().CloseHandle(folder);
    return 0;
  }
  // A folder's files are named to the user by their full paths.
  static char16_t walked[kPathCapacity];
  std::memcpy(walked, path, static_cast<size_t>(n + 1) * sizeof(char16_t));
  size_t held = 0;
  int32_t result = WalkFolder(folder, walked, list, &held);
  Sys().CloseHandle(folder);
  return result;
}
