#include "system/posix_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "system/terminal_line.h"
#include "system/utf8.h"

namespace {

struct PosixHandle {
  // What the handle holds: an open file, a wildcard search, or a folder
  // being walked. Each verb takes only its own kind.
  enum Kind { kFile, kSearch, kFolder };
  PosixHandle(Kind k, int descriptor, DIR* stream = nullptr)
      : kind(k), fd(descriptor), folder(stream) {}
  Kind kind;
  int fd;
  // A file: its position and size are kept here, so that a read or write
  // is one positioned call and a read at the end none. A standard stream
  // (stream) reads and writes at the descriptor's own position instead.
  bool stream = false;
  uint64_t position = 0;
  uint64_t size = 0;
  // A file's identity as its open saw it (0, 0 until known): a file's
  // device and number do not change while it is open.
  FileIdentity identity = {0, 0};
  // A search: the folder still being read, its path and the pattern, and
  // the first answer, which the later ones do not repeat. A walked folder:
  // the stream over its descriptor (fd is that descriptor).
  DIR* folder = nullptr;
  std::string dir, pattern, first;
};

PosixHandle StdInput = [] {
  PosixHandle h(PosixHandle::kFile, 0);
  h.stream = true;
  return h;
}();
PosixHandle StdOutput = [] {
  PosixHandle h(PosixHandle::kFile, 1);
  h.stream = true;
  return h;
}();

PosixHandle* FromHandle(SysHandle handle) {
  if (handle == kInvalidHandle || handle == 0) return nullptr;
  return reinterpret_cast<PosixHandle*>(handle);
}

PosixHandle* FromHandle(SysHandle handle, PosixHandle::Kind kind) {
  PosixHandle* h = FromHandle(handle);
  return h != nullptr && h->kind == kind ? h : nullptr;
}

SysHandle ToHandle(PosixHandle* h) { return reinterpret_cast<SysHandle>(h); }

uint32_t WindowsError(int err) {
  switch (err) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return kErrorAccessDenied;
    case EWOULDBLOCK:
    case EBUSY: return kErrorSharingViolation;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBADF: return kErrorInvalidHandle;
    case EINVAL:
    case EOVERFLOW: return kErrorInvalidParameter;
    case EFBIG: return kErrorFileTooLarge;
    case ELOOP: return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    case EIO: return kErrorIoDevice;
    case EPIPE: return kErrorNoData;
    default: return kErrorGenFailure;
  }
}

std::string Narrow(const char16_t* text) {
  uint32_t error = 0;
  int n = WideToUtf8(text, -1, nullptr, 0, &error);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideToUtf8(text, -1, out.data(), n, &error);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// A missing file is 2, a missing folder on the way to it 3.
uint32_t MissingError(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return kErrorFileNotFound;
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
  return kErrorFileNotFound;
}

// The Windows wildcards and nothing else: '*' any run, '?' any one byte,
// every other byte itself, case included. No escapes, no brackets: a
// backslash or a '[' in a name means only itself.
bool Matches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != 0) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != 0 && (*pattern == '?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

}  // namespace

PosixSystem::PosixSystem() {
  // A write to a pipe whose reader has gone fails with its code, as on
  // Windows, instead of ending the process unseen.
  signal(SIGPIPE, SIG_IGN);
  // A write past the file size limit (ulimit -f) fails with EFBIG (223) for
  // that file, as a full disk does, instead of ending the whole run.
  signal(SIGXFSZ, SIG_IGN);
  // A walk holds one descriptor per folder level, and trees run deeper than
  // the usual soft limit of 1,024: take what the hard limit allows. Running
  // out still fails the open with 4.
  rlimit files = {};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);  // beyond the system's ceiling: left as it was
  }
  // A standard stream the caller closed stays taken, read-only, so that no
  // document opened later lands on it and a write there fails (6).
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

PosixSystem::~PosixSystem() {
  for (void* block : strings_) std::free(block);
}

bool PosixSystem::RegisterHost(const char16_t* progId, const Guid& clsid, HostFactory factory) {
  if (hostCount_ == kMaxHosts) return false;
  Registration& r = hosts_[hostCount_];
  size_t n = 0;
  while (progId[n] != 0) {
    if (n + 1 == sizeof r.progId / sizeof r.progId[0]) return false;
    r.progId[n] = progId[n];
    ++n;
  }
  r.progId[n] = 0;
  r.clsid = clsid;
  r.factory = factory;
  ++hostCount_;
  return true;
}

bool PosixSystem::Fail(uint32_t error) {
  lastError_ = error;
  return false;
}

uint32_t PosixSystem::GetModuleFileNameW(void*, char16_t* buffer, uint32_t size) {
  char path[4096 + 1];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0 || size == 0) return Fail(n <= 0 ? WindowsError(errno) : kErrorInsufficientBuffer), 0;
  if (n == sizeof path - 1) return Fail(kErrorFilenameTooLong), 0;  // cut: not our name
  path[n] = 0;
  std::vector<char16_t> wide(static_cast<size_t>(n) + 1);
  uint32_t error = 0;
  int units = Utf8ToWide(path, -1, wide.data(), static_cast<int>(wide.size()), &error);
  if (units == 0) return Fail(error), 0;
  uint32_t length = static_cast<uint32_t>(units - 1);
  uint32_t copied = length < size ? length : size - 1;
  std::memcpy(buffer, wide.data(), copied * sizeof(char16_t));
  buffer[copied] = 0;
  if (copied < length) {
    lastError_ = kErrorInsufficientBuffer;
    return size;
  }
  return length;
}

uint32_t PosixSystem::GetModuleFileNameA(void*, char* buffer, uint32_t size) {
  char path[4096 + 1];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0 || size == 0) return Fail(n <= 0 ? WindowsError(errno) : kErrorInsufficientBuffer), 0;
  if (n == sizeof path - 1) return Fail(kErrorFilenameTooLong), 0;  // cut: not our name
  uint32_t length = static_cast<uint32_t>(n);
  uint32_t copied = length < size ? length : size - 1;
  std::memcpy(buffer, path, copied);
  buffer[copied] = 0;
  if (copied < length) {
    lastError_ = kErrorInsufficientBuffer;
    return size;
  }
  return length;
}

SysHandle PosixSystem::GetStdHandle(uint32_t which) {
  if (which == kStdOutputHandle) return ToHandle(&StdOutput);
  if (which != kStdInputHandle) return Fail(kErrorInvalidParameter), kInvalidHandle;
  // A terminal is what a Windows GUI program started from a console lacks:
  // it has no standard input there, so its closing one-byte read ends at
  // once. From a pipe or a file the read stays.
  if (isatty(STDIN_FILENO)) return 0;
  return ToHandle(&StdInput);
}

uint32_t PosixSystem::GetLastError() { return lastError_; }

void PosixSystem::OutputDebugStringA(const char* text) { std::fputs(text, stderr); }

uint32_t PosixSystem::GetTickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

void PosixSystem::Sleep(uint32_t milliseconds) {
  timespec left = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

SysHandle PosixSystem::CreateFileW(const char16_t* path, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags) {
  (void)flags;
  if (path == nullptr) return Fail(kErrorInvalidParameter), kInvalidHandle;
  return Open(Narrow(path).c_str(), access, share, disposition);
}

SysHandle PosixSystem::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags) {
  (void)flags;
  if (path == nullptr) return Fail(kErrorInvalidParameter), kInvalidHandle;
  return Open(path, access, share, disposition);
}

SysHandle PosixSystem::Open(const char* path, uint32_t access, uint32_t share,
                            uint32_t disposition) {
  if (disposition != kOpenExisting && disposition != kCreateNew)
    return Fail(kErrorInvalidParameter), kInvalidHandle;
  if (path[0] == 0) return Fail(kErrorPathNotFound), kInvalidHandle;
  bool wantRead = (access & kGenericRead) != 0;
  bool wantWrite = (access & kGenericWrite) != 0;
  int mode = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  // A new file is made only where nothing is, not even a link.
  if (disposition == kCreateNew) mode |= O_CREAT | O_EXCL;
  // Non-blocking, so that a FIFO or a device never holds the open up; such
  // files are refused below.
  int fd = ::open(path, mode | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    int err = errno;
    if (err == EEXIST) return Fail(kErrorFileExists), kInvalidHandle;
    // A socket, or a device without a driver, fails the open itself: it is
    // refused as every file that is not a regular one is.
    struct stat st;
    if (err != ENOENT && stat(path, &st) == 0 && !S_ISREG(st.st_mode))
      return Fail(kErrorAccessDenied), kInvalidHandle;
    return Fail(err == ENOENT ? MissingError(path) : WindowsError(err)), kInvalidHandle;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail(kErrorAccessDenied), kInvalidHandle;
  }
  return Hold(fd, st, wantWrite, share);
}

// Takes an open regular file as CreateFileW holds it: refused for writing
// when read-only, locked for the share mode asked. Closes fd on failure.
SysHandle PosixSystem::Hold(int fd, const struct stat& st, bool wantWrite, uint32_t share) {
  if (wantWrite && (st.st_mode & 0222) == 0) {  // no write bit: a read-only file
    ::close(fd);
    return Fail(kErrorAccessDenied), kInvalidHandle;
  }
  // The exclusive hold is both kinds of Linux lock: flock, and a record lock
  // over the whole file (on the open file description, so that it is ours
  // alone), which is what fcntl and lockf holders test and take.
  struct flock record = {};
  record.l_type = wantWrite ? F_WRLCK : F_RDLCK;
  record.l_whence = SEEK_SET;
  if (flock(fd, (share == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 ||
      (share == 0 && fcntl(fd, F_OFD_SETLK, &record) != 0)) {
    int err = errno;
    ::close(fd);
    return Fail(err == EWOULDBLOCK || err == EACCES ? kErrorSharingViolation : WindowsError(err)),
           kInvalidHandle;
  }
  auto* h = new PosixHandle(PosixHandle::kFile, fd);
  h->size = static_cast<uint64_t>(st.st_size);
  h->identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return ToHandle(h);
}

// Documents of any size the file system holds: positions are 64-bit.
static_assert(sizeof(off_t) == 8, "64-bit file offsets (_FILE_OFFSET_BITS=64)");

bool PosixSystem::SetFilePointerEx(SysHandle file, int64_t distance, uint64_t* newPosition,
                                   uint32_t method) {
  PosixHandle* h = FromHandle(file, PosixHandle::kFile);
  if (h == nullptr) return Fail(kErrorInvalidHandle);
  int64_t base = 0;
  if (method == kFileCurrent) {
    base = h->stream ? lseek(h->fd, 0, SEEK_CUR) : static_cast<int64_t>(h->position);
  } else if (method == kFileEnd) {
    // The size from fstat, since another opener may have changed it; seeking
    // to the end first would move the pointer even when the move then fails.
    struct stat st;
    base = fstat(h->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    if (base >= 0) h->size = static_cast<uint64_t>(base);
  } else if (method != kFileBegin) {
    return Fail(kErrorInvalidParameter);
  }
  if (base < 0) return Fail(WindowsError(errno));
  int64_t target;
  if (__builtin_add_overflow(base, distance, &target)) return Fail(kErrorInvalidParameter);
  if (target < 0) return Fail(kErrorNegativeSeek);
  // A file's position is the handle's own: reads and writes name it.
  if (h->stream && lseek(h->fd, target, SEEK_SET) < 0) return Fail(WindowsError(errno));
  h->position = static_cast<uint64_t>(target);
  if (newPosition != nullptr) *newPosition = h->position;
  return true;
}

namespace {

// The open leaves O_NONBLOCK on, which a regular file ignores; should a file
// system not, the descriptor blocks from then on and the call is made again.
bool Blocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_NONBLOCK) != 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

bool PosixSystem::ReadFile(SysHandle file, void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  PosixHandle* h = FromHandle(file, PosixHandle::kFile);
  if (h == nullptr) return Fail(kErrorInvalidHandle);
  auto* p = static_cast<char*>(buffer);
  if (h->stream) {
    while (*done < count) {
      ssize_t n = ::read(h->fd, p + *done, count - *done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail(WindowsError(errno));
      if (n == 0 || h == &StdInput) {  // a console read ends with what it got
        *done += static_cast<uint32_t>(n);
        break;
      }
      *done += static_cast<uint32_t>(n);
    }
    return true;
  }
  // At or past the end the open saw (or a write made), nothing is read; a
  // read that reaches that end needs no second one to find it.
  while (*done < count && h->position + *done < h->size) {
    ssize_t n = ::pread(h->fd, p + *done, count - *done, static_cast<off_t>(h->position + *done));
    if (n < 0 && (errno == EINTR || (errno == EAGAIN && Blocking(h->fd)))) continue;
    if (n < 0) return Fail(WindowsError(errno));
    if (n == 0) {
      h->size = h->position + *done;  // cut short meanwhile
      break;
    }
    *done += static_cast<uint32_t>(n);
  }
  h->position += *done;
  if (h->position > h->size) h->size = h->position;  // grown meanwhile
  return true;
}

bool PosixSystem::WriteFile(SysHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  PosixHandle* h = FromHandle(file, PosixHandle::kFile);
  if (h == nullptr) return Fail(kErrorInvalidHandle);
  const auto* p = static_cast<const char*>(buffer);
  while (*done < count) {
    ssize_t n = h->stream ? ::write(h->fd, p + *done, count - *done)
                          : ::pwrite(h->fd, p + *done, count - *done,
                                     static_cast<off_t>(h->position + *done));
    if (n < 0 && (errno == EINTR || (errno == EAGAIN && !h->stream && Blocking(h->fd)))) continue;
    if (n < 0) return Fail(WindowsError(errno));
    if (n == 0) return Fail(kErrorDiskFull);
    *done += static_cast<uint32_t>(n);
  }
  if (!h->stream) {
    h->position += *done;
    if (h->position > h->size) h->size = h->position;
  }
  return true;
}

bool PosixSystem::CloseHandle(SysHandle handle) {
  PosixHandle* h = FromHandle(handle);
  // A search is given back by FindClose alone, as on Windows.
  if (h == nullptr || h == &StdInput || h == &StdOutput || h->kind == PosixHandle::kSearch)
    return Fail(kErrorInvalidHandle);
  if (h->kind == PosixHandle::kFolder)
    closedir(h->folder);
  else
    ::close(h->fd);
  delete h;
  return true;
}

namespace {

// The attributes a Windows search would give the entry, as lstat sees it: a
// symbolic link is a reparse point (never followed), a name starting with "."
// is hidden, a FIFO, socket or device is a device. The folder's own record
// of the type (d_type) spares an lstat per entry where it has one, so that
// listing a large folder again costs little more than reading it.
uint32_t AttributesOf(const std::string& full, const std::string& name,
                      unsigned char type = DT_UNKNOWN) {
  uint32_t attributes = kAttributeNormal;
  struct stat st;
  if (type == DT_DIR) {
    attributes = kAttributeDirectory;
  } else if (type != DT_UNKNOWN && type != DT_LNK && type != DT_REG) {
    attributes = kAttributeDevice;
  } else if (type == DT_UNKNOWN || type == DT_LNK) {
    if (lstat(full.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) {
        attributes = kAttributeReparsePoint;
        struct stat target;
        if (stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
          attributes |= kAttributeDirectory;
      } else if (S_ISDIR(st.st_mode)) {
        attributes = kAttributeDirectory;
      } else if (!S_ISREG(st.st_mode)) {
        attributes = kAttributeDevice;
      }
    }
  }
  if (!name.empty() && name[0] == '.') attributes |= kAttributeHidden;
  return attributes;
}

// The entry's name as UTF-16, stray bytes as lone surrogates; false when
// it does not fit the record.
bool FillName(const char* name, FindData* data) {
  uint32_t error = 0;
  std::memset(data, 0, sizeof *data);
  return Utf8ToWide(name, -1, data->cFileName, 260, &error) != 0;
}

bool FillFound(const std::string& dir, const std::string& name, FindData* data,
               unsigned char type = DT_UNKNOWN) {
  if (!FillName(name.c_str(), data)) return false;
  data->attributes = AttributesOf(dir + "/" + name, name, type);
  return true;
}

// The attributes of a walked entry, never following a link: a link is a
// reparse point and nothing more, since the walk goes no further there.
uint32_t EntryAttributes(int folder, const char* name, unsigned char type) {
  if (type == DT_UNKNOWN) {
    struct stat st;
    if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISDIR(st.st_mode)   ? DT_DIR
             : S_ISLNK(st.st_mode) ? DT_LNK
             : S_ISREG(st.st_mode) ? DT_REG
                                   : DT_FIFO;
    }
  }
  uint32_t attributes = type == DT_DIR                         ? kAttributeDirectory
                        : type == DT_LNK                       ? kAttributeReparsePoint
                        : type == DT_REG || type == DT_UNKNOWN ? kAttributeNormal
                                                               : kAttributeDevice;
  if (name[0] == '.') attributes |= kAttributeHidden;
  return attributes;
}

// One component of a held folder: no separator, and neither "." nor "..",
// which would lead out of the folder the walk holds.
bool IsOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

SysHandle PosixSystem::FindFirstFileW(const char16_t* pattern, FindData* data) {
  std::string path = Narrow(pattern);
  std::string::size_type slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return Fail(kErrorFileNotFound), kInvalidHandle;

  std::string found;
  DIR* d = nullptr;
  if (name.find_first_of("*?") == std::string::npos) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      int err = errno;
      return Fail(err == ENOENT ? MissingError(path) : WindowsError(err)), kInvalidHandle;
    }
    found = name;
  } else {
    d = opendir(dir.c_str());
    if (d == nullptr) {
      int err = errno;
      return Fail(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : WindowsError(err)),
             kInvalidHandle;
    }
    // The first match in name order, so that the answer does not depend on
    // the order in which the folder happens to list its entries.
    errno = 0;
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (!Matches(name.c_str(), e->d_name)) continue;
      if (found.empty() || found > e->d_name) found = e->d_name;
    }
    int err = errno;
    if (err != 0 || found.empty()) {
      closedir(d);
      return Fail(err != 0 ? WindowsError(err) : kErrorFileNotFound), kInvalidHandle;
    }
    rewinddir(d);
  }
  if (!FillFound(dir, found, data)) {
    if (d != nullptr) closedir(d);
    return Fail(kErrorFilenameTooLong), kInvalidHandle;
  }
  auto* h = new PosixHandle(PosixHandle::kSearch, -1, d);
  h->dir = dir;
  h->pattern = name;
  h->first = found;
  return ToHandle(h);
}

bool PosixSystem::FindNextFileW(SysHandle search, FindData* data) {
  PosixHandle* h = FromHandle(search);
  if (h == nullptr || h->kind != PosixHandle::kSearch) return Fail(kErrorInvalidHandle);
  if (h->folder == nullptr) return Fail(kErrorNoMoreFiles);
  for (;;) {
    errno = 0;
    dirent* e = readdir(h->folder);
    if (e == nullptr) return Fail(errno != 0 ? WindowsError(errno) : kErrorNoMoreFiles);
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (h->first == e->d_name || !Matches(h->pattern.c_str(), e->d_name)) continue;
    if (!FillFound(h->dir, e->d_name, data, e->d_type)) return Fail(kErrorFilenameTooLong);
    return true;
  }
}

bool PosixSystem::FindClose(SysHandle search) {
  PosixHandle* h = FromHandle(search);
  if (h == nullptr || h->kind != PosixHandle::kSearch) return Fail(kErrorInvalidHandle);
  if (h->folder != nullptr) closedir(h->folder);
  delete h;
  return true;
}

SysHandle PosixSystem::HoldFolder(int fd) {
  DIR* stream = fdopendir(fd);
  if (stream == nullptr) {
    int err = errno;
    ::close(fd);
    return Fail(WindowsError(err)), kInvalidHandle;
  }
  return ToHandle(new PosixHandle(PosixHandle::kFolder, fd, stream));
}

SysHandle PosixSystem::OpenFolder(const char16_t* path) {
  if (path == nullptr) return Fail(kErrorInvalidParameter), kInvalidHandle;
  std::string narrow = Narrow(path);
  if (narrow.empty()) return Fail(kErrorPathNotFound), kInvalidHandle;
  int fd = ::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    struct stat st;
    if (err == ENOTDIR && stat(narrow.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      return Fail(kErrorDirectory), kInvalidHandle;
    if (err == ENOENT) return Fail(MissingError(narrow)), kInvalidHandle;
    return Fail(err == ENOTDIR ? kErrorPathNotFound : WindowsError(err)), kInvalidHandle;
  }
  return HoldFolder(fd);
}

SysHandle PosixSystem::OpenSubfolder(SysHandle folder, const char16_t* name) {
  PosixHandle* h = FromHandle(folder, PosixHandle::kFolder);
  if (h == nullptr) return Fail(kErrorInvalidHandle), kInvalidHandle;
  std::string narrow = name != nullptr ? Narrow(name) : std::string();
  if (!IsOneComponent(narrow)) return Fail(kErrorInvalidName), kInvalidHandle;
  int fd = openat(h->fd, narrow.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // A link (ELOOP) or anything not a folder (ENOTDIR) is not walked into.
    int err = errno;
    return Fail(err == ELOOP || err == ENOTDIR ? kErrorStoppedOnSymlink : WindowsError(err)),
           kInvalidHandle;
  }
  return HoldFolder(fd);
}

bool PosixSystem::ReadFolder(SysHandle folder, FindData* entry) {
  PosixHandle* h = FromHandle(folder, PosixHandle::kFolder);
  if (h == nullptr) return Fail(kErrorInvalidHandle);
  for (;;) {
    errno = 0;
    dirent* e = readdir(h->folder);
    if (e == nullptr) return Fail(errno != 0 ? WindowsError(errno) : kErrorNoMoreFiles);
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (!FillName(e->d_name, entry)) return Fail(kErrorFilenameTooLong);
    entry->attributes = EntryAttributes(h->fd, e->d_name, e->d_type);
    return true;
  }
}

bool PosixSystem::RewindFolder(SysHandle folder) {
  PosixHandle* h = FromHandle(folder, PosixHandle::kFolder);
  if (h == nullptr) return Fail(kErrorInvalidHandle);
  rewinddir(h->folder);
  return true;
}

SysHandle PosixSystem::OpenFileInFolder(SysHandle folder, const char16_t* name, uint32_t access,
                                        uint32_t share, uint32_t flags) {
  (void)flags;
  PosixHandle* h = FromHandle(folder, PosixHandle::kFolder);
  if (h == nullptr) return Fail(kErrorInvalidHandle), kInvalidHandle;
  std::string narrow = name != nullptr ? Narrow(name) : std::string();
  if (!IsOneComponent(narrow)) return Fail(kErrorInvalidName), kInvalidHandle;
  bool wantRead = (access & kGenericRead) != 0;
  bool wantWrite = (access & kGenericWrite) != 0;
  int mode = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  // Non-blocking, so that a FIFO or a device never holds the open up.
  int fd = openat(h->fd, narrow.c_str(), mode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    int err = errno;
    // A link, a folder opened for writing, or a socket or FIFO that cannot
    // be opened at all: none is a regular file.
    struct stat st;
    if (err == ELOOP || err == EISDIR ||
        (err != ENOENT && fstatat(h->fd, narrow.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         !S_ISREG(st.st_mode)))
      return Fail(kErrorStoppedOnSymlink), kInvalidHandle;
    return Fail(WindowsError(err)), kInvalidHandle;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return Fail(WindowsError(err)), kInvalidHandle;
  }
  if (!S_ISREG(st.st_mode)) {  // a folder, FIFO or device: never scanned
    ::close(fd);
    return Fail(kErrorStoppedOnSymlink), kInvalidHandle;
  }
  return Hold(fd, st, wantWrite, share);
}

bool PosixSystem::GetFileIdentity(SysHandle handle, FileIdentity* identity) {
  PosixHandle* h = FromHandle(handle);
  if (h == nullptr || h->kind == PosixHandle::kSearch) return Fail(kErrorInvalidHandle);
  if (h->identity.file != 0 || h->identity.volume != 0) {
    *identity = h->identity;
    return true;
  }
  struct stat st;
  if (fstat(h->fd, &st) != 0) return Fail(WindowsError(errno));
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->file = static_cast<uint64_t>(st.st_ino);
  return true;
}

uint32_t PosixSystem::GetFileAttributesW(const char16_t* path) {
  struct stat st;
  if (path == nullptr || stat(Narrow(path).c_str(), &st) != 0)
    return Fail(path == nullptr ? kErrorInvalidParameter : WindowsError(errno)), kInvalidAttributes;
  uint32_t attributes = S_ISDIR(st.st_mode)   ? kAttributeDirectory
                        : S_ISREG(st.st_mode) ? kAttributeNormal
                                              : kAttributeDevice;
  if ((st.st_mode & 0222) == 0) attributes |= kAttributeReadOnly;
  return attributes;
}

bool PosixSystem::GetFileSizeEx(SysHandle file, uint64_t* size) {
  PosixHandle* h = FromHandle(file);
  if (h == nullptr || h->kind == PosixHandle::kSearch) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(h->fd, &st) != 0) return Fail(WindowsError(errno));
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

uint32_t PosixSystem::GetFullPathNameW(const char16_t* path, uint32_t size, char16_t* buffer) {
  std::string given = Narrow(path);
  if (given.empty()) return Fail(kErrorInvalidName), 0;
  std::string full;
  if (given[0] != '/') {
    // Any depth: a folder deeper than PATH_MAX still has a full path, which
    // the caller's capacity then refuses by name.
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr)
      return Fail(errno == ERANGE ? kErrorFilenameTooLong : WindowsError(errno)), 0;
    full = cwd;
    std::free(cwd);
  }
  // Only what is lexically sure goes: "." parts and repeated slashes. A ".."
  // stays, since the open resolves it after any symbolic link before it. A
  // final "." leaves its slash behind: "a.psd/." names a folder, and must
  // not become the file a.psd.
  std::string::size_type at = 0;
  bool folder = false;
  while (at <= given.size()) {
    std::string::size_type slash = given.find('/', at);
    if (slash == std::string::npos) slash = given.size();
    std::string part = given.substr(at, slash - at);
    if (!part.empty()) folder = part == ".";
    if (!part.empty() && part != ".") full += "/" + part;
    at = slash + 1;
  }
  if (full.empty() || ((given.back() == '/' || folder) && full.back() != '/')) full += '/';
  uint32_t error = 0;
  int needed = Utf8ToWide(full.c_str(), -1, nullptr, 0, &error);
  if (needed == 0) return Fail(error), 0;
  if (static_cast<uint32_t>(needed) > size) return static_cast<uint32_t>(needed);
  Utf8ToWide(full.c_str(), -1, buffer, needed, &error);
  return static_cast<uint32_t>(needed - 1);
}

int PosixSystem::MultiByteToWideChar(uint32_t, uint32_t, const char* text, int length,
                                     char16_t* out, int capacity) {
  uint32_t error = 0;
  int n = Utf8ToWide(text, length, out, capacity, &error);
  if (n == 0) lastError_ = error;
  return n;
}

int PosixSystem::WideCharToMultiByte(uint32_t, uint32_t, const char16_t* text, int length,
                                     char* out, int capacity) {
  uint32_t error = 0;
  int n = WideToUtf8(text, length, out, capacity, &error);
  if (n == 0) lastError_ = error;
  return n;
}

int PosixSystem::MessageBoxW(const char16_t* text, const char16_t* caption, uint32_t style) {
  return MessageBoxA(Narrow(text).c_str(), Narrow(caption).c_str(), style);
}

int PosixSystem::MessageBoxA(const char* text, const char* caption, uint32_t) {
  // One line per line of the box, each led by the program's name.
  for (const char* line = text;;) {
    const char* end = std::strchr(line, '\n');
    int n = static_cast<int>(end != nullptr ? end - line : std::strlen(line));
    std::fprintf(stderr, "%s: %.*s\n", caption, n, line);
    if (end == nullptr) break;
    line = end + 1;
  }
  std::fflush(stderr);
  return 1;  // OK
}

// Only a terminal gets the line: a log or a pipe would keep every rewrite.
bool PosixSystem::ProgressStart(const char16_t* title) {
  if (progressShown_) return true;
  if (isatty(STDERR_FILENO) == 0) return false;
  std::string narrow = Narrow(title);
  std::snprintf(progressTitle_, sizeof progressTitle_, "%s", narrow.c_str());
  progressShown_ = true;
  return true;
}

void PosixSystem::ProgressUpdate(const char16_t* line1, const char16_t* line2) {
  if (!progressShown_) return;
  progressLine1_ = Narrow(line1);
  progressLine2_ = line2 != nullptr ? Narrow(line2) : std::string();
  DrawProgress();
}

void PosixSystem::ProgressFraction(uint64_t done, uint64_t total) {
  if (!progressShown_) return;
  int percent = total == 0 ? -1 : static_cast<int>((done < total ? done : total) * 100 / total);
  if (percent == progressPercent_) return;
  progressPercent_ = percent;
  if (!progressLine1_.empty()) DrawProgress();
}

// The share read leads, where a long name cannot push it off the row.
void PosixSystem::DrawProgress() {
  std::string line = std::string(progressTitle_) + ": ";
  if (progressPercent_ >= 0) line += std::to_string(progressPercent_) + "% ";
  line += progressLine1_;
  if (!progressLine2_.empty()) line += " (" + progressLine2_ + ")";
  // One row only: a line that wrapped could not be rewritten in place.
  winsize size = {};
  size_t columns =
      ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
  std::fprintf(stderr, "\r\033[K%s", TerminalLine(line, columns).c_str());
  std::fflush(stderr);
}

// Interrupting from the terminal keeps its own behaviour; there is no other cancel.
bool PosixSystem::ProgressCancelled() { return false; }

void PosixSystem::ProgressStop() {
  if (!progressShown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  progressShown_ = false;
  progressLine1_.clear();
  progressLine2_.clear();
  progressPercent_ = -1;
}

void* PosixSystem::Allocate(std::size_t bytes) { return std::malloc(bytes); }

void PosixSystem::Release(void* block) { std::free(block); }

int32_t PosixSystem::OleInitialize() { return 0; }

int32_t PosixSystem::CLSIDFromProgID(const char16_t* progId, Guid* clsid) {
  for (int i = 0; i < hostCount_; ++i) {
    const Registration& r = hosts_[i];
    size_t n = 0;
    while (r.progId[n] != 0 && r.progId[n] == progId[n]) ++n;
    if (r.progId[n] == progId[n]) {
      *clsid = r.clsid;
      return 0;
    }
  }
  return kClassStringInvalid;
}

int32_t PosixSystem::CoCreateInstance(const Guid& clsid, uint32_t, const Guid&, void** object) {
  for (int i = 0; i < hostCount_; ++i) {
    const Registration& r = hosts_[i];
    if (r.clsid == clsid) {
      *object = r.factory();
      return *object != nullptr ? 0 : kOutOfMemoryResult;
    }
  }
  *object = nullptr;
  return kClassNotRegistered;
}

HostString PosixSystem::SysAllocStringByteLen(const char* bytes, uint32_t length) {
  auto* block = static_cast<char*>(std::malloc(4 + static_cast<size_t>(length) + 2));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &length, 4);
  if (bytes != nullptr) std::memcpy(block + 4, bytes, length);
  block[4 + length] = 0;
  block[5 + length] = 0;
  strings_.push_back(block);
  return reinterpret_cast<HostString>(block + 4);
}

HostString PosixSystem::SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  uint32_t n = 0;
  while (text[n] != 0) ++n;
  return SysAllocStringByteLen(reinterpret_cast<const char*>(text), n * 2);
}

uint32_t PosixSystem::GetLocalAppDataFolder(char16_t* buffer, uint32_t size) {
  std::string folder;
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data != nullptr && data[0] == '/') {
    folder = data;
  } else if (home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.local/share";
  } else {
    return Fail(kErrorEnvVarNotFound), 0;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  uint32_t error = 0;
  int units = Utf8ToWide(folder.c_str(), -1, nullptr, 0, &error);
  if (units == 0) return Fail(error), 0;
  if (static_cast<uint32_t>(units) > size) return Fail(kErrorInsufficientBuffer), units;
  Utf8ToWide(folder.c_str(), -1, buffer, static_cast<int>(size), &error);
  return static_cast<uint32_t>(units - 1);
}

bool PosixSystem::CreateDirectoryW(const char16_t* path) {
  if (path == nullptr) return Fail(kErrorInvalidParameter);
  std::string narrow = Narrow(path);
  if (::mkdir(narrow.c_str(), 0777) == 0) return true;
  int err = errno;
  if (err == EEXIST) return Fail(kErrorAlreadyExists);
  return Fail(err == ENOENT ? kErrorPathNotFound : WindowsError(err));
}

bool PosixSystem::DeleteFileW(const char16_t* path) {
  if (path == nullptr) return Fail(kErrorInvalidParameter);
  std::string narrow = Narrow(path);
  struct stat st;
  if (lstat(narrow.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  if (::unlink(narrow.c_str()) == 0) return true;
  int err = errno;
  return Fail(err == ENOENT ? MissingError(narrow) : WindowsError(err));
}

void PosixSystem::GetLocalTime(LocalTime* time) {
  time_t now = ::time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  *time = {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
           static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
           static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec)};
}

// Linux prints every entry as it comes: nothing asks for a file to be opened.
bool PosixSystem::ShellExecuteOpen(const char16_t*) { return Fail(kErrorNotSupported); }
