#include "tests/support/fake_system.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "system/utf8.h"

namespace {

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

// '*' and '?' as the platform's search matches them, any case. Greedy with
// one backtrack point, so that a pattern of many stars stays linear.
bool Wildcard(const char16_t* p, const char16_t* s) {
  const char16_t* star = nullptr;
  const char16_t* resume = nullptr;
  while (*s != 0) {
    if (*p == u'*') {
      star = p++;
      resume = s;
    } else if (*p != 0 && (*p == u'?' || Fold(*p) == Fold(*s))) {
      ++p;
      ++s;
    } else if (star != nullptr) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == u'*') ++p;
  return *p == 0;
}

std::vector<std::u16string> Split(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

bool IsDrive(const std::u16string& part) { return part.size() == 2 && part[1] == u':'; }

// The reserved names that open a device in any folder.
bool IsDeviceName(const std::u16string& part) {
  static const char16_t* const kNames[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (const char16_t* name : kNames)
    if (SameName(part, name)) return true;
  return part.size() == 4 &&
         (SameName(part.substr(0, 3), u"COM") || SameName(part.substr(0, 3), u"LPT")) &&
         part[3] >= u'1' && part[3] <= u'9';
}

// The parts of a path as Windows resolves it before any file system sees
// it: "/" separates as the backslash does, runs of separators count once, "." parts
// go, ".." takes the part before it along (never the drive), a part loses
// one trailing period, and the last part all its trailing periods and spaces.
std::vector<std::u16string> WindowsParts(const std::u16string& path) {
  std::vector<std::u16string> raw;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\' || c == u'/') {
      raw.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  raw.push_back(part);

  std::vector<std::u16string> parts;
  for (size_t i = 0; i < raw.size(); ++i) {
    std::u16string p = raw[i];
    if (p.empty() || p == u".") continue;
    if (p == u"..") {
      if (!parts.empty() && !IsDrive(parts.back())) parts.pop_back();
      continue;
    }
    if (i + 1 == raw.size()) {
      while (!p.empty() && (p.back() == u'.' || p.back() == u' ')) p.pop_back();
    } else if (p.back() == u'.' && p.find_first_not_of(u'.') != std::u16string::npos) {
      p.pop_back();
    }
    if (!p.empty()) parts.push_back(p);
  }
  return parts;
}

std::string Describe(const std::u16string& text) { return U8(text); }

// The file a name stands for: itself, or the one a hard link shares.
FakeSystem::Node* FileOf(FakeSystem::Node* node) {
  return node->sameFileAs != nullptr ? node->sameFileAs : node;
}

// One component of a held folder, as a walk lists it: no separator, no
// wildcard, neither "." nor "..".
bool IsOneComponent(const std::u16string& name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(u"\\/*?") == std::u16string::npos;
}

}  // namespace

std::u16string U16(const std::string& utf8) {
  uint32_t error = 0;
  int n = Utf8ToWide(utf8.c_str(), -1, nullptr, 0, &error);
  std::u16string out(static_cast<size_t>(n), u'\0');
  Utf8ToWide(utf8.c_str(), -1, out.data(), n, &error);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string U8(const std::u16string& text) {
  uint32_t error = 0;
  int n = WideToUtf8(text.c_str(), -1, nullptr, 0, &error);
  std::string out(static_cast<size_t>(n), '\0');
  WideToUtf8(text.c_str(), -1, out.data(), n, &error);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

namespace {
constexpr uint64_t kPage = 4096;
}  // namespace

void FakeSystem::Node::ReadAt(uint64_t at, void* out, uint64_t count) const {
  auto* to = static_cast<uint8_t*>(out);
  if (!sparse) {
    if (count > 0) std::memcpy(to, data.data() + at, count);
    return;
  }
  std::memset(to, 0, count);
  for (auto it = pages.lower_bound(at / kPage); it != pages.end() && it->first * kPage < at + count;
       ++it) {
    uint64_t from = std::max(at, it->first * kPage);
    uint64_t end = std::min(at + count, (it->first + 1) * kPage);
    std::memcpy(to + (from - at), it->second.data() + from % kPage, end - from);
  }
}

void FakeSystem::Node::WriteAt(uint64_t at, const void* in, uint64_t count) {
  const auto* from = static_cast<const uint8_t*>(in);
  if (!sparse) {
    if (at + count > data.size()) data.resize(at + count);
    if (count > 0) std::memcpy(data.data() + at, from, count);
    return;
  }
  for (uint64_t i = 0; i < count; ++i) {
    std::vector<uint8_t>& page = pages[(at + i) / kPage];
    page.resize(kPage);
    page[(at + i) % kPage] = from[i];
  }
  sparseLength = std::max(sparseLength, at + count);
}

FakeSystem::FakeSystem() {
  root_.directory = true;
  device_.identity = nextIdentity_++;
  device_.name = u"NUL";
  device_.device = true;
}

FakeSystem::~FakeSystem() {
  for (auto& [block, size] : allocations_) std::free(block);
  for (void* block : strings_) std::free(block);
}

FakeSystem::Node& FakeSystem::Make(const std::u16string& path, bool directory,
                                   const std::u16string& shortName) {
  Node* node = &root_;
  std::vector<std::u16string> parts = Split(path);
  for (size_t i = 0; i < parts.size(); ++i) {
    Node* next = nullptr;
    for (auto& child : node->children)
      if (SameName(child->name, parts[i])) next = child.get();
    if (next == nullptr) {
      node->children.push_back(std::make_unique<Node>());
      next = node->children.back().get();
      next->name = parts[i];
      next->directory = true;
      next->identity = nextIdentity_++;
    }
    node = next;
  }
  node->directory = directory;
  node->shortName = shortName;
  return *node;
}

FakeSystem::Node& FakeSystem::AddFile(const std::u16string& path, std::vector<uint8_t> data,
                                      const std::u16string& shortName) {
  Node& node = Make(path, false, shortName);
  node.data = std::move(data);
  return node;
}

FakeSystem::Node& FakeSystem::AddSparseFile(const std::u16string& path, uint64_t length,
                                            const std::map<uint64_t, std::string>& pieces) {
  Node& node = Make(path, false, u"");
  node.sparse = true;
  node.sparseLength = length;
  for (const auto& [at, bytes] : pieces) node.WriteAt(at, bytes.data(), bytes.size());
  return node;
}

FakeSystem::Node& FakeSystem::AddFile(const std::u16string& path, const std::string& data,
                                      const std::u16string& shortName) {
  return AddFile(path, std::vector<uint8_t>(data.begin(), data.end()), shortName);
}

FakeSystem::Node& FakeSystem::AddFolder(const std::u16string& path,
                                        const std::u16string& shortName) {
  return Make(path, true, shortName);
}

FakeSystem::Node* FakeSystem::Resolve(const std::u16string& path, bool* folderMissing) {
  *folderMissing = false;
  if (path.empty()) return *folderMissing = true, nullptr;
  std::u16string full = path;
  std::vector<std::u16string> first = Split(path);
  if (!IsDrive(first[0])) {
    if (currentFolder.empty()) return *folderMissing = true, nullptr;
    full = currentFolder + u"\\" + path;
  }
  std::vector<std::u16string> parts = WindowsParts(full);
  if (!parts.empty() && IsDeviceName(parts.back())) return &device_;
  Node* node = &root_;
  for (size_t i = 0; i < parts.size(); ++i) {
    Node* next = nullptr;
    if (node->directory)
      for (auto& child : node->children)
        if (SameName(child->name, parts[i]) ||
            (!child->shortName.empty() && SameName(child->shortName, parts[i])))
          next = child.get();
    if (next == nullptr) {
      *folderMissing = i + 1 < parts.size();
      return nullptr;
    }
    node = next;
  }
  return node;
}

FakeSystem::Node& FakeSystem::Replace(const std::u16string& path) {
  std::vector<std::u16string> parts = Split(path);
  std::u16string last = parts.back();
  parts.pop_back();
  std::u16string parentPath;
  for (const std::u16string& p : parts) parentPath += (parentPath.empty() ? u"" : u"\\") + p;
  Node* parent = parts.empty() ? &root_ : &Make(parentPath, true, u"");
  for (auto& child : parent->children) {
    if (!SameName(child->name, last)) continue;
    replaced_.push_back(std::move(child));
    child = std::make_unique<Node>();
    child->name = replaced_.back()->name;
    child->identity = nextIdentity_++;
    return *child;
  }
  return Make(path, false, u"");
}

FakeSystem::Node& FakeSystem::AddLink(const std::u16string& path, bool toFolder) {
  Node& link = Replace(path);
  link.directory = toFolder;
  link.extraAttributes = kAttributeReparsePoint;
  return link;
}

FakeSystem::Node& FakeSystem::AddHardLink(const std::u16string& existing,
                                          const std::u16string& path) {
  Node* file = FileOf(Find(existing));
  Node& name = Replace(path);
  name.sameFileAs = file;
  name.identity = file->identity;
  return name;
}

FakeSystem::Node* FakeSystem::Find(const std::u16string& path) {
  bool missing;
  return Resolve(path, &missing);
}

FakeSystem::Node* FakeSystem::ParentOf(const std::u16string& path, std::u16string* name,
                                       uint32_t* error) {
  std::u16string::size_type cut = path.find_last_of(u"\\/");
  *error = kErrorPathNotFound;
  if (cut == std::u16string::npos || cut + 1 >= path.size()) return nullptr;
  *name = path.substr(cut + 1);
  if (*name == u"." || *name == u"..") return *error = kErrorInvalidName, nullptr;
  Node* parent = Find(path.substr(0, cut));
  if (parent == nullptr || !parent->directory || parent->device) return nullptr;
  *error = 0;
  return parent;
}

std::string FakeSystem::Contents(const std::u16string& path) {
  Node* node = Find(path);
  return node == nullptr ? std::string("<missing>") : Contents(path, 0, node->Size());
}

std::string FakeSystem::Contents(const std::u16string& path, uint64_t at, uint64_t count) {
  Node* node = Find(path);
  if (node == nullptr) return "<missing>";
  node = FileOf(node);
  std::string bytes(at < node->Size() ? std::min(count, node->Size() - at) : 0, '\0');
  node->ReadAt(at, bytes.data(), bytes.size());
  return bytes;
}

void FakeSystem::FailAt(Op op, int nth, uint32_t error) {
  injections_.push_back({op, nth, error, false});
}

void FakeSystem::ShortWriteAt(int nth) { injections_.push_back({Op::WriteFile, nth, 0, true}); }

bool FakeSystem::Injected(Op op, Injection* hit) {
  int n = ++calls_[static_cast<int>(op)];
  for (const Injection& i : injections_) {
    if (i.op == op && i.nth == n) {
      if (hit != nullptr) *hit = i;
      if (i.shortWrite) return hit != nullptr;
      lastError_ = i.error;
      return true;
    }
  }
  return false;
}

std::vector<std::string> FakeSystem::LogOf(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : log)
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

FakeSystem::Handle* FakeSystem::FromHandle(SysHandle handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

uint32_t FakeSystem::GetModuleFileNameW(void*, char16_t* buffer, uint32_t size) {
  if (Injected(Op::GetModuleFileNameW) || wideModuleNameFails) {
    if (wideModuleNameFails) lastError_ = 120;  // ERROR_CALL_NOT_IMPLEMENTED
    return 0;
  }
  uint32_t length = static_cast<uint32_t>(modulePath.size());
  uint32_t copied = length < size ? length : size - 1;
  std::memcpy(buffer, modulePath.data(), copied * 2);
  buffer[copied] = 0;
  return copied < length ? size : length;
}

uint32_t FakeSystem::GetModuleFileNameA(void*, char* buffer, uint32_t size) {
  if (Injected(Op::GetModuleFileNameA)) return 0;
  std::string narrow = U8(modulePath);
  uint32_t length = static_cast<uint32_t>(narrow.size());
  uint32_t copied = length < size ? length : size - 1;
  std::memcpy(buffer, narrow.data(), copied);
  buffer[copied] = 0;
  return copied < length ? size : length;
}

SysHandle FakeSystem::GetStdHandle(uint32_t) {
  if (Injected(Op::GetStdHandle)) return kInvalidHandle;
  SysHandle h = nextHandle_++;
  handles_[h] = Handle{nullptr, 0, false, true};
  return h;
}

SysHandle FakeSystem::CreateFileW(const char16_t* path, uint32_t access, uint32_t share,
                                  uint32_t disposition, uint32_t) {
  if (Injected(Op::CreateFileW)) {
    log.push_back("CreateFileW " + Describe(path) + " failed");
    return kInvalidHandle;
  }
  return Open(path, access, share, disposition, "CreateFileW");
}

SysHandle FakeSystem::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                  uint32_t disposition, uint32_t) {
  if (Injected(Op::CreateFileA)) {
    log.push_back(std::string("CreateFileA ") + path + " failed");
    return kInvalidHandle;
  }
  return Open(U16(path), access, share, disposition, "CreateFileA");
}

SysHandle FakeSystem::Open(const std::u16string& path, uint32_t access, uint32_t share,
                           uint32_t disposition, const char* opName) {
  std::string line = std::string(opName) + " " + Describe(path);
  bool folderMissing;
  Node* node = Resolve(path, &folderMissing);
  uint32_t error = 0;
  if (disposition == kCreateNew && path.find_first_of(u"*?") == std::u16string::npos) {
    if (node != nullptr) {
      error = kErrorFileExists;
    } else {
      std::u16string name;
      Node* parent = ParentOf(path, &name, &error);
      if (parent != nullptr) {
        parent->children.push_back(std::make_unique<Node>());
        node = parent->children.back().get();
        node->name = name;
        node->identity = nextIdentity_++;
      }
    }
  } else if (disposition != kOpenExisting) {
    error = kErrorInvalidParameter;
  } else if (path.find_first_of(u"*?") != std::u16string::npos) {
    error = kErrorInvalidName;  // wildcards are no part of a name
  } else if (node == nullptr) {
    error = (folderMissing || path.empty()) ? kErrorPathNotFound : kErrorFileNotFound;
  } else if (node->device || node->directory) {
    // Disk files only: a device opens as a directory does, refused.
    error = kErrorAccessDenied;
  }
  if (error != 0) {
    lastError_ = error;
    log.push_back(line + " error " + std::to_string(error));
    return kInvalidHandle;
  }
  return Hold(FileOf(node), access, share, line);
}

// Takes a found file as CreateFileW holds it: one holder alone, or readers
// that share.
SysHandle FakeSystem::Hold(Node* node, uint32_t access, uint32_t share, const std::string& line) {
  uint32_t error = 0;
  if (node->readOnly && (access & kGenericWrite) != 0) {
    error = kErrorAccessDenied;
  } else if (node->open && (share == 0 || node->exclusive)) {
    error = kErrorSharingViolation;
  }
  if (error != 0) {
    lastError_ = error;
    log.push_back(line + " error " + std::to_string(error));
    return kInvalidHandle;
  }
  node->open = true;
  node->exclusive = share == 0;
  SysHandle h = nextHandle_++;
  handles_[h] = Handle{node, 0, false, false};
  log.push_back(line);
  return h;
}

bool FakeSystem::SetFilePointerEx(SysHandle file, int64_t distance, uint64_t* newPosition,
                                  uint32_t method) {
  std::string line = "SetFilePointerEx " + std::to_string(distance) +
                     (method == kFileBegin     ? " begin"
                      : method == kFileCurrent ? " current"
                                               : " end");
  if (Injected(Op::SetFilePointerEx)) {
    log.push_back(line + " failed");
    return false;
  }
  Handle* h = FromHandle(file);
  if (h == nullptr || h->node == nullptr || h->folder)
    return lastError_ = kErrorInvalidHandle, false;
  int64_t base = method == kFileBegin     ? 0
                 : method == kFileCurrent ? static_cast<int64_t>(h->position)
                                          : static_cast<int64_t>(h->node->Size());
  int64_t target;
  if (__builtin_add_overflow(base, distance, &target))
    return lastError_ = kErrorInvalidParameter, false;
  if (target < 0) return lastError_ = kErrorNegativeSeek, false;
  h->position = static_cast<uint64_t>(target);
  if (newPosition != nullptr) *newPosition = h->position;
  log.push_back(line);
  return true;
}

bool FakeSystem::ReadFile(SysHandle file, void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  tickCount += ticksPerRead;
  Handle* h = FromHandle(file);
  if (h != nullptr && h->stdinput) {
    ++stdinReads;
    log.push_back("ReadFile stdin");
    return !Injected(Op::ReadFile);
  }
  if (Injected(Op::ReadFile)) {
    log.push_back("ReadFile failed");
    return false;
  }
  if (h == nullptr || h->node == nullptr || h->folder)
    return lastError_ = kErrorInvalidHandle, false;
  uint64_t size = h->node->Size();
  uint64_t available = h->position < size ? size - h->position : 0;
  uint32_t n = available < count ? static_cast<uint32_t>(available) : count;
  h->node->ReadAt(h->position, buffer, n);
  h->position += n;
  *done = n;
  log.push_back("ReadFile " + std::to_string(count) + " -> " + std::to_string(n));
  return true;
}

bool FakeSystem::WriteFile(SysHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  Injection hit{};
  bool injected = Injected(Op::WriteFile, &hit);
  if (injected && !hit.shortWrite) {
    lastError_ = hit.error;
    log.push_back("WriteFile failed");
    return false;
  }
  Handle* h = FromHandle(file);
  if (h == nullptr || h->node == nullptr || h->folder)
    return lastError_ = kErrorInvalidHandle, false;
  uint32_t n = injected ? count - 1 : count;
  h->node->WriteAt(h->position, buffer, n);
  log.push_back("WriteFile " + std::to_string(n) + " @" + std::to_string(h->position));
  h->position += n;
  *done = n;
  return true;
}

bool FakeSystem::CloseHandle(SysHandle handle) {
  Handle* h = FromHandle(handle);
  if (Injected(Op::CloseHandle) || h == nullptr || h->search) {
    if (h == nullptr) lastError_ = kErrorInvalidHandle;
    log.push_back("CloseHandle failed");
    return false;
  }
  if (h->node != nullptr) h->node->open = false;
  handles_.erase(handle);
  log.push_back("CloseHandle");
  return true;
}

SysHandle FakeSystem::FindFirstFileW(const char16_t* pattern, FindData* data) {
  std::u16string path(pattern);
  log.push_back("FindFirstFileW " + Describe(path));
  if (Injected(Op::FindFirstFileW)) return kInvalidHandle;
  // As on Windows, the search is for the path as normalised: the last part
  // that survives is looked for in the folder the rest names, and the
  // answer is the entry found, whatever the part looked like.
  if (path.empty() || path.back() == u'\\' || path.back() == u'/')
    return lastError_ = kErrorFileNotFound, kInvalidHandle;
  std::u16string full = path;
  if (!IsDrive(Split(path)[0])) full = currentFolder + u"\\" + path;
  std::vector<std::u16string> parts = WindowsParts(full);
  Node* match = nullptr;
  std::vector<Node*> more;
  std::u16string name;
  if (parts.size() <= 1 || parts.back().find_first_of(u"*?") == std::u16string::npos) {
    match = Find(full);
    if (match == &device_) name = parts.back();
  } else {
    std::u16string mask = parts.back();
    parts.pop_back();
    std::u16string folderPath;
    for (const std::u16string& p : parts) folderPath += (folderPath.empty() ? u"" : u"\\") + p;
    Node* folder = Find(folderPath);
    // As on Windows: inside a missing folder or a file the path is not found.
    if (folder == nullptr || !folder->directory)
      return lastError_ = kErrorPathNotFound, kInvalidHandle;
    for (auto& child : folder->children)
      if (Wildcard(mask.c_str(), child->name.c_str()) ||
          (!child->shortName.empty() && Wildcard(mask.c_str(), child->shortName.c_str())))
        (match == nullptr ? match : more.emplace_back()) = child.get();
  }
  if (match == nullptr) return lastError_ = kErrorFileNotFound, kInvalidHandle;
  Found(*match, name.empty() ? match->name : name, data);
  SysHandle h = nextHandle_++;
  handles_[h] = Handle{nullptr, 0, true, false, std::move(more), 0};
  return h;
}

void FakeSystem::Found(const Node& node, const std::u16string& name, FindData* data) {
  std::memset(data, 0, sizeof *data);
  size_t n = name.size() < 259 ? name.size() : 259;
  std::memcpy(data->cFileName, name.data(), n * 2);
  size_t s = node.shortName.size() < 13 ? node.shortName.size() : 13;
  std::memcpy(data->cAlternateFileName, node.shortName.data(), s * 2);
  data->attributes =
      (node.directory ? kAttributeDirectory : kAttributeNormal) | node.extraAttributes;
}

bool FakeSystem::FindNextFileW(SysHandle search, FindData* data) {
  log.push_back("FindNextFileW");
  if (Injected(Op::FindNextFileW)) return false;
  Handle* h = FromHandle(search);
  if (h == nullptr || !h->search) return lastError_ = kErrorInvalidHandle, false;
  if (h->next == h->matches.size()) return lastError_ = kErrorNoMoreFiles, false;
  const Node* node = h->matches[h->next++];
  Found(*node, node->name, data);
  return true;
}

bool FakeSystem::FindClose(SysHandle search) {
  log.push_back("FindClose");
  Handle* h = FromHandle(search);
  if (Injected(Op::FindClose) || h == nullptr || !h->search) return false;
  handles_.erase(search);
  return true;
}

FakeSystem::Handle* FakeSystem::FolderHandle(SysHandle handle) {
  Handle* h = FromHandle(handle);
  return h != nullptr && h->folder ? h : nullptr;
}

// The entry of a held folder named exactly so (any case, as the file system
// compares), or nullptr.
FakeSystem::Node* FakeSystem::Child(Node* folder, const std::u16string& name) {
  for (auto& child : folder->children)
    if (SameName(child->name, name) ||
        (!child->shortName.empty() && SameName(child->shortName, name)))
      return child.get();
  return nullptr;
}

SysHandle FakeSystem::OpenFolder(const char16_t* path) {
  std::u16string given = path != nullptr ? path : u"";
  std::string line = "OpenFolder " + Describe(given);
  if (Injected(Op::OpenFolder)) {
    log.push_back(line + " failed");
    return kInvalidHandle;
  }
  bool folderMissing;
  Node* node = Resolve(given, &folderMissing);
  uint32_t error = 0;
  if (node == nullptr)
    error = (folderMissing || given.empty()) ? kErrorPathNotFound : kErrorFileNotFound;
  else if (!node->directory)
    error = kErrorDirectory;
  if (error != 0) {
    lastError_ = error;
    log.push_back(line + " error " + std::to_string(error));
    return kInvalidHandle;
  }
  SysHandle h = nextHandle_++;
  handles_[h] = Handle{node, 0, false, false, {}, 0, true};
  log.push_back(line);
  return h;
}

// The entry name names in the held folder, for the walk's relative opens:
// nullptr, with the error logged and kept, when the call fails, the entry
// is missing or it is not what the verb opens (a link or reparse point
// never is).
FakeSystem::Node* FakeSystem::WalkedEntry(Op op, const char* verb, SysHandle folder,
                                          const char16_t* name, bool wantFolder,
                                          std::string* line) {
  if (beforeWalk) beforeWalk(op);
  std::u16string given = name != nullptr ? name : u"";
  *line = std::string(verb) + " " + Describe(given);
  if (Injected(op)) {
    log.push_back(*line + " failed");
    return nullptr;
  }
  Handle* h = FolderHandle(folder);
  Node* node = h != nullptr && IsOneComponent(given) ? Child(h->node, given) : nullptr;
  uint32_t error = 0;
  if (h == nullptr)
    error = kErrorInvalidHandle;
  else if (!IsOneComponent(given))
    error = kErrorInvalidName;
  else if (!wantFolder && IsDeviceName(given))
    error = kErrorStoppedOnSymlink;  // a device in every folder, never a file
  else if (node == nullptr)
    error = kErrorFileNotFound;
  else if (node->directory != wantFolder || node->device ||
           (node->extraAttributes & kAttributeReparsePoint) != 0)
    error = kErrorStoppedOnSymlink;
  if (error == 0) return node;
  lastError_ = error;
  log.push_back(*line + " error " + std::to_string(error));
  return nullptr;
}

SysHandle FakeSystem::OpenSubfolder(SysHandle folder, const char16_t* name) {
  std::string line;
  Node* node = WalkedEntry(Op::OpenSubfolder, "OpenSubfolder", folder, name, true, &line);
  if (node == nullptr) return kInvalidHandle;
  SysHandle held = nextHandle_++;
  handles_[held] = Handle{node, 0, false, false, {}, 0, true};
  log.push_back(line);
  return held;
}

bool FakeSystem::ReadFolder(SysHandle folder, FindData* entry) {
  if (beforeWalk) beforeWalk(Op::ReadFolder);
  if (Injected(Op::ReadFolder)) {
    log.push_back("ReadFolder failed");
    return false;
  }
  Handle* h = FolderHandle(folder);
  if (h == nullptr) return lastError_ = kErrorInvalidHandle, false;
  if (h->next >= h->node->children.size()) {
    log.push_back("ReadFolder end");
    return lastError_ = kErrorNoMoreFiles, false;
  }
  const Node& node = *h->node->children[h->next++];
  Found(node, node.name, entry);
  if (node.device) entry->attributes = kAttributeDevice | node.extraAttributes;
  log.push_back("ReadFolder " + Describe(node.name));
  return true;
}

bool FakeSystem::RewindFolder(SysHandle folder) {
  log.push_back("RewindFolder");
  if (Injected(Op::RewindFolder)) return false;
  Handle* h = FolderHandle(folder);
  if (h == nullptr) return lastError_ = kErrorInvalidHandle, false;
  h->next = 0;
  return true;
}

SysHandle FakeSystem::OpenFileInFolder(SysHandle folder, const char16_t* name, uint32_t access,
                                       uint32_t share, uint32_t) {
  std::string line;
  Node* node = WalkedEntry(Op::OpenFileInFolder, "OpenFileInFolder", folder, name, false, &line);
  if (node == nullptr) return kInvalidHandle;
  return Hold(FileOf(node), access, share, line);
}

bool FakeSystem::GetFileIdentity(SysHandle handle, FileIdentity* identity) {
  log.push_back("GetFileIdentity");
  if (Injected(Op::GetFileIdentity)) return false;
  Handle* h = FromHandle(handle);
  if (h == nullptr || h->node == nullptr || h->search)
    return lastError_ = kErrorInvalidHandle, false;
  identity->volume = 0x1234;  // one volume: every drive of the fake
  identity->file = h->node->identity;
  return true;
}

bool FakeSystem::GetFileSizeEx(SysHandle file, uint64_t* size) {
  log.push_back("GetFileSizeEx");
  if (Injected(Op::GetFileSizeEx)) return false;
  Handle* h = FromHandle(file);
  if (h == nullptr || h->node == nullptr || h->search) return lastError_ = kErrorInvalidHandle, false;
  *size = h->node->Size();
  return true;
}

uint32_t FakeSystem::GetFileAttributesW(const char16_t* path) {
  log.push_back("GetFileAttributesW " + U8(path));
  if (Injected(Op::GetFileAttributesW)) return kInvalidAttributes;
  const Node* node = Find(path);
  if (node == nullptr) return lastError_ = kErrorFileNotFound, kInvalidAttributes;
  return (node->directory ? kAttributeDirectory : kAttributeNormal) |
         (node->readOnly ? kAttributeReadOnly : 0) | node->extraAttributes;
}

uint32_t FakeSystem::GetFullPathNameW(const char16_t* path, uint32_t size, char16_t* buffer) {
  std::u16string given = path;
  log.push_back("GetFullPathNameW " + U8(given));
  if (Injected(Op::GetFullPathNameW)) return 0;
  if (given.empty()) return lastError_ = kErrorInvalidName, 0;
  std::u16string full;
  for (const std::u16string& part :
       WindowsParts(IsDrive(Split(given)[0]) ? given : currentFolder + u"\\" + given))
    full += (full.empty() ? u"" : u"\\") + part;
  if (full.size() == 2) full += u'\\';  // the drive's root
  auto length = static_cast<uint32_t>(full.size());
  if (length + 1 > size) return length + 1;
  std::memcpy(buffer, full.c_str(), (length + 1) * sizeof(char16_t));
  return length;
}

int FakeSystem::MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* text, int length,
                                    char16_t* out, int capacity) {
  wideningCodePage = codePage;
  wideningFlags = flags;
  if (Injected(Op::MultiByteToWideChar)) return 0;
  uint32_t error = 0;
  int n = Utf8ToWide(text, length, out, capacity, &error);
  if (n == 0) lastError_ = error;
  return n;
}

int FakeSystem::WideCharToMultiByte(uint32_t, uint32_t, const char16_t* text, int length, char* out,
                                    int capacity) {
  if (Injected(Op::WideCharToMultiByte)) return 0;
  std::u16string fitted;
  if (!ansiBestFit.empty() && text != nullptr) {
    fitted = length == -1 ? std::u16string(text) + u'\0'
                          : std::u16string(text, static_cast<size_t>(length));
    for (char16_t& unit : fitted)
      if (auto found = ansiBestFit.find(unit); found != ansiBestFit.end())
        unit = static_cast<unsigned char>(found->second);
    text = fitted.c_str();
    if (length == -1) length = static_cast<int>(fitted.size());
  }
  uint32_t error = 0;
  int n = WideToUtf8(text, length, out, capacity, &error);
  if (n == 0) lastError_ = error;
  return n;
}

int FakeSystem::MessageBoxW(const char16_t* text, const char16_t* caption, uint32_t style) {
  if (Injected(Op::MessageBoxW)) return 0;
  boxes.push_back(Box{true, text, caption, {}, {}, style});
  progress.push_back(progressShown_ ? "box over the progress" : "box");
  return boxAnswer;
}

int FakeSystem::MessageBoxA(const char* text, const char* caption, uint32_t style) {
  if (Injected(Op::MessageBoxA)) return 0;
  boxes.push_back(Box{false, {}, {}, text, caption, style});
  progress.push_back(progressShown_ ? "box over the progress" : "box");
  return boxAnswer;
}

bool FakeSystem::ProgressStart(const char16_t* title) {
  if (progressShown_) return true;
  progress.push_back(progressFails ? "start failed" : "start " + U8(title));
  progressShown_ = !progressFails;
  return progressShown_;
}

void FakeSystem::ProgressUpdate(const char16_t* line1, const char16_t* line2) {
  if (progressShown_) progress.push_back(U8(line1) + " | " + U8(line2));
}

void FakeSystem::ProgressFraction(uint64_t done, uint64_t total) {
  if (progressShown_) bar.push_back(total == 0 ? "empty" : std::to_string(done * 100 / total) + "%");
}

bool FakeSystem::ProgressCancelled() {
  return progressShown_ && cancelAt != 0 && ++cancelQueries_ >= cancelAt;
}

void FakeSystem::ProgressStop() {
  if (progressShown_) progress.push_back("stop");
  progressShown_ = false;
}

void* FakeSystem::Allocate(std::size_t bytes) {
  if (Injected(Op::Allocate)) {
    log.push_back("Allocate " + std::to_string(bytes) + " failed");
    return nullptr;
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  allocations_[block] = bytes;
  log.push_back("Allocate " + std::to_string(bytes));
  return block;
}

void FakeSystem::Release(void* block) {
  if (block == nullptr) return;
  allocations_.erase(block);
  std::free(block);
  log.push_back("Release");
}

int32_t FakeSystem::OleInitialize() {
  if (Injected(Op::OleInitialize)) return static_cast<int32_t>(lastError_);
  return oleResult;
}

int32_t FakeSystem::CLSIDFromProgID(const char16_t* id, Guid* out) {
  progId = id;
  if (Injected(Op::CLSIDFromProgID)) return static_cast<int32_t>(lastError_);
  if (clsidResult >= 0) *out = clsid;
  return clsidResult;
}

int32_t FakeSystem::CoCreateInstance(const Guid& id, uint32_t context, const Guid& iid,
                                     void** object) {
  createContext = context;
  createIid = iid;
  *object = nullptr;
  if (Injected(Op::CoCreateInstance)) return static_cast<int32_t>(lastError_);
  if (createResult < 0 || !(id == clsid))
    return createResult < 0 ? createResult : kClassNotRegistered;
  *object = hostObject;
  return createResult;
}

HostString FakeSystem::SysAllocStringByteLen(const char* bytes, uint32_t length) {
  if (Injected(Op::SysAllocStringByteLen)) return nullptr;
  return MakeCounted(bytes, length);
}

HostString FakeSystem::MakeCounted(const char* bytes, uint32_t length) {
  auto* block = static_cast<char*>(std::malloc(4 + static_cast<size_t>(length) + 2));
  std::memcpy(block, &length, 4);
  if (bytes != nullptr) std::memcpy(block + 4, bytes, length);
  block[4 + length] = 0;
  block[5 + length] = 0;
  strings_.push_back(block);
  return reinterpret_cast<HostString>(block + 4);
}

HostString FakeSystem::SysAllocString(const char16_t* text) {
  if (Injected(Op::SysAllocString) || text == nullptr) return nullptr;
  uint32_t n = 0;
  while (text[n] != 0) ++n;
  return MakeCounted(reinterpret_cast<const char*>(text), n * 2);
}

uint32_t FakeSystem::GetLocalAppDataFolder(char16_t* buffer, uint32_t size) {
  if (Injected(Op::GetLocalAppDataFolder)) return 0;
  if (localAppData.empty()) return lastError_ = kErrorEnvVarNotFound, 0;
  auto length = static_cast<uint32_t>(localAppData.size());
  if (length + 1 > size) return length + 1;
  std::copy(localAppData.begin(), localAppData.end(), buffer);
  buffer[length] = 0;
  return length;
}

bool FakeSystem::CreateDirectoryW(const char16_t* path) {
  std::string line = "CreateDirectoryW " + Describe(path);
  uint32_t error = 0;
  std::u16string name;
  Node* parent = nullptr;
  if (Injected(Op::CreateDirectoryW)) {
    error = lastError_;
  } else if (Find(path) != nullptr) {
    error = kErrorAlreadyExists;
  } else if ((parent = ParentOf(path, &name, &error)) != nullptr) {
    parent->children.push_back(std::make_unique<Node>());
    parent->children.back()->name = name;
    parent->children.back()->directory = true;
    parent->children.back()->identity = nextIdentity_++;
    log.push_back(line);
    return true;
  }
  lastError_ = error;
  log.push_back(line + " error " + std::to_string(error));
  return false;
}

bool FakeSystem::DeleteFileW(const char16_t* path) {
  std::string line = "DeleteFileW " + Describe(path);
  uint32_t error = 0;
  Node* node = Find(path);
  std::u16string name;
  Node* parent = nullptr;
  if (Injected(Op::DeleteFileW)) {
    error = lastError_;
  } else if (node == nullptr) {
    bool missing;
    Resolve(path, &missing);
    error = missing ? kErrorPathNotFound : kErrorFileNotFound;
  } else if (node->directory || node->device || node->readOnly) {
    error = kErrorAccessDenied;
  } else if (node->open) {
    error = kErrorSharingViolation;
  } else if ((parent = ParentOf(path, &name, &error)) != nullptr) {
    auto& list = parent->children;
    for (auto it = list.begin(); it != list.end(); ++it)
      if (it->get() == node) {
        list.erase(it);
        break;
      }
    log.push_back(line);
    return true;
  }
  lastError_ = error;
  log.push_back(line + " error " + std::to_string(error));
  return false;
}

void FakeSystem::GetLocalTime(LocalTime* time) { *time = localTime; }

bool FakeSystem::ShellExecuteOpen(const char16_t* path) {
  if (Injected(Op::ShellExecuteOpen)) {
    log.push_back("ShellExecute open " + Describe(path) + " failed");
    return false;
  }
  opened.push_back(path);
  log.push_back("ShellExecute open " + Describe(path));
  return true;
}
