#include "maker/maker_files.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

constexpr int kTemporaryTries = 100;
constexpr char kNoSuchFile[] = "no such file";
constexpr char kNotRegular[] = "not a regular file (a device, a FIFO or a socket)";

#ifdef _WIN32
constexpr char kSeparators[] = "\\/:";
#else
constexpr char kSeparators[] = "/";
#endif

// The folder part of a name, separator included; empty for a bare name.
std::string FolderOf(const std::string& name) {
  size_t slash = name.find_last_of(kSeparators);
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// A name in `folder` that nobody else chose: random, and only ever created
// exclusively.
std::string TemporaryName(const std::string& folder, int attempt) {
  uint64_t random = 0;
#ifdef _WIN32
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  random = static_cast<uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15u ^
           (uint64_t(GetCurrentProcessId()) << 32) ^ GetTickCount64();
#else
  if (getrandom(&random, sizeof random, 0) != sizeof random)
    random = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(time(nullptr));
#endif
  random ^= static_cast<uint64_t>(attempt) * 0xD6E8FEB86659FD93u;
  static const char kHex[] = "0123456789abcdef";
  std::string name = folder + ".droplet-maker-";
  for (int i = 0; i < 16; ++i) name += kHex[(random >> (4 * i)) & 15];
  return name + ".tmp";
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
  wide.pop_back();
  return wide;
}

std::string Reason(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kNoSuchFile;
  wchar_t text[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, 512, nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.')) --n;
  if (n == 0) return "Windows error " + std::to_string(error);
  char utf8[2048];
  int m = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), utf8, sizeof utf8, nullptr,
                              nullptr);
  return std::string(utf8, m > 0 ? static_cast<size_t>(m) : 0);
}

bool IsFolder(const std::wstring& name) {
  DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens with no sharing of writes, so that the size read first stays true.
HANDLE OpenExisting(const std::wstring& name) {
  return CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
#else
std::string Reason(int error) { return error == ENOENT ? kNoSuchFile : std::strerror(error); }
#endif

}  // namespace

bool ReadInput(const std::string& name, uint64_t limit, std::vector<uint8_t>* bytes, uint64_t* size,
               std::string* why) {
  bytes->clear();
  *size = 0;
#ifdef _WIN32
  std::wstring wide = Wide(name);
  if (IsFolder(wide)) return *why = "it is a folder", false;
  HANDLE file = OpenExisting(wide);
  if (file == INVALID_HANDLE_VALUE) return *why = Reason(GetLastError()), false;
  LARGE_INTEGER length{};
  bool ok = GetFileType(file) == FILE_TYPE_DISK;
  if (!ok) *why = kNotRegular;
  if (ok && !GetFileSizeEx(file, &length)) ok = false, *why = Reason(GetLastError());
  *size = ok ? static_cast<uint64_t>(length.QuadPart) : 0;
  if (ok && *size <= limit) {
    bytes->resize(static_cast<size_t>(*size));
    size_t done = 0;
    while (ok && done < bytes->size()) {
      DWORD n = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1 << 20));
      ok = ReadFile(file, bytes->data() + done, chunk, &n, nullptr) && n > 0;
      done += n;
    }
    if (!ok) *why = "a read failed";
  }
  CloseHandle(file);
  return ok;
#else
  // Non-blocking, so that a FIFO without a writer cannot hold the open.
  int file = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) return *why = Reason(errno), false;
  struct stat info;
  bool ok = fstat(file, &info) == 0;
  if (!ok) *why = Reason(errno);
  if (ok && !S_ISREG(info.st_mode)) {
    ok = false;
    *why = S_ISDIR(info.st_mode) ? "it is a folder" : kNotRegular;
  }
  *size = ok ? static_cast<uint64_t>(info.st_size) : 0;
  if (ok && *size <= limit) {
    bytes->resize(static_cast<size_t>(*size));
    size_t done = 0;
    while (ok && done < bytes->size()) {
      ssize_t n = read(file, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
    if (!ok) *why = "a read failed, or the file shrank while it was read";
  }
  close(file);
  return ok;
#endif
}

bool FileExists(const std::string& name) {
#ifdef _WIN32
  return GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info;
  return lstat(name.c_str(), &info) == 0;
#endif
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* names[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    HANDLE file = CreateFileW(Wide(*names[i]).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
#else
  struct stat x, y;
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
#endif
}

bool PublishFile(const std::string& name, const std::vector<uint8_t>& bytes,
                 const std::string& like, bool replace, std::string* why) {
  std::string folder = FolderOf(name), temporary;
#ifdef _WIN32
  (void)like;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < kTemporaryTries; ++attempt) {
    temporary = TemporaryName(folder, attempt);
    file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (error != 0 && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return *why = Reason(error), false;
  }
  if (file == INVALID_HANDLE_VALUE) return *why = "no free temporary name in its folder", false;
  // From here on the temporary file is ours, and only it is removed.
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    ok = WriteFile(file, bytes.data() + done, chunk, &n, nullptr) && n > 0;
    done += n;
  }
  ok = ok && FlushFileBuffers(file);
  if (!ok) *why = Reason(GetLastError());
  CloseHandle(file);
  std::wstring from = Wide(temporary);
  if (ok) {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    ok = MoveFileExW(from.c_str(), Wide(name).c_str(), flags);
    DWORD error = ok ? 0 : GetLastError();
    if (!ok)
      *why = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? "it already exists"
                                                                         : Reason(error);
  }
  if (!ok) DeleteFileW(from.c_str());
  return ok;
#else
  struct stat source;
  mode_t mode = stat(like.c_str(), &source) == 0 ? source.st_mode & 0777 : 0600;
  int file = -1;
  for (int attempt = 0; file < 0 && attempt < kTemporaryTries; ++attempt) {
    temporary = TemporaryName(folder, attempt);
    file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0 && errno != EEXIST) return *why = Reason(errno), false;
  }
  if (file < 0) return *why = "no free temporary name in its folder", false;
  // From here on the temporary file is ours, and only it is removed.
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = write(file, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fchmod(file, mode) == 0 && fsync(file) == 0;
  if (!ok) *why = std::strerror(errno != 0 ? errno : EIO);
  if (close(file) != 0 && ok) ok = false, *why = std::strerror(errno);
  if (ok) {
    // Without `replace`, a hard link claims the name only if it is free.
    ok = replace ? rename(temporary.c_str(), name.c_str()) == 0
                 : link(temporary.c_str(), name.c_str()) == 0;
    if (!ok) *why = errno == EEXIST ? "it already exists" : std::strerror(errno);
    if (ok && replace) return true;
  }
  unlink(temporary.c_str());
  return ok;
#endif
}

std::string OwnFolder() {
#ifdef _WIN32
  static wchar_t self[32768];
  DWORD n = GetModuleFileNameW(nullptr, self, 32768);
  if (n == 0 || n >= 32768) return std::string();
  static char utf8[32768 * 3];
  int m = WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(n), utf8, sizeof utf8, nullptr,
                              nullptr);
  return FolderOf(std::string(utf8, m > 0 ? static_cast<size_t>(m) : 0));
#else
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof self)) return std::string();
  return FolderOf(std::string(self, static_cast<size_t>(n)));
#endif
}
