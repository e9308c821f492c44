#include "maker/maker_files.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return fs::path(utf8);
#endif
}

#ifdef _WIN32
std::string Reason(DWORD error) { return std::system_category().message(static_cast<int>(error)); }

// Creates `name` (never an existing file), writes and flushes it.
bool WriteNew(const fs::path& name, const std::vector<uint8_t>& bytes, std::string* why) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *why = Reason(GetLastError());
    return false;
  }
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
  return ok;
}

bool Rename(const fs::path& from, const fs::path& to, bool replace, std::string* why) {
  DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  DWORD error = GetLastError();
  *why = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? "it already exists"
                                                                     : Reason(error);
  return false;
}
#else
bool WriteNew(const fs::path& name, const std::vector<uint8_t>& bytes, std::string* why) {
  int file = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) {
    *why = std::strerror(errno);
    return false;
  }
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = write(file, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(file) == 0;
  if (!ok) *why = std::strerror(errno != 0 ? errno : EIO);
  if (close(file) != 0 && ok) {
    ok = false;
    *why = std::strerror(errno);
  }
  return ok;
}

// Without `replace`, a hard link claims the name only if it is free.
bool Rename(const fs::path& from, const fs::path& to, bool replace, std::string* why) {
  if (replace ? rename(from.c_str(), to.c_str()) == 0 : link(from.c_str(), to.c_str()) == 0) {
    if (!replace) unlink(from.c_str());
    return true;
  }
  *why = errno == EEXIST ? "it already exists" : std::strerror(errno);
  return false;
}
#endif

}  // namespace

bool ReadWholeFile(const std::string& name, std::vector<uint8_t>* bytes, std::string* why) {
  std::error_code error;
  fs::path path = PathOf(name);
  if (fs::is_directory(path, error)) {
    *why = "it is a folder";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = fs::exists(path, error) ? "it cannot be opened" : "no such file";
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *why = "a read failed";
    return false;
  }
  return true;
}

bool FileExists(const std::string& name) {
  std::error_code error;
  return fs::exists(fs::symlink_status(PathOf(name), error));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(PathOf(a), PathOf(b), error);
}

bool PublishFile(const std::string& name, const std::vector<uint8_t>& bytes,
                 const std::string& like, bool replace, std::string* why) {
  fs::path target = PathOf(name);
#ifdef _WIN32
  fs::path temporary = PathOf(name + "." + std::to_string(GetCurrentProcessId()) + ".tmp");
#else
  fs::path temporary = PathOf(name + "." + std::to_string(getpid()) + ".tmp");
#endif
  std::error_code error;
  if (!WriteNew(temporary, bytes, why)) {
    fs::remove(temporary, error);
    return false;
  }
#ifndef _WIN32
  fs::permissions(temporary, fs::status(PathOf(like), error).permissions() & fs::perms::mask,
                  error);
#else
  (void)like;
#endif
  if (!Rename(temporary, target, replace, why)) {
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

std::string OwnFolder() {
#ifdef _WIN32
  wchar_t self[32768];
  DWORD n = GetModuleFileNameW(nullptr, self, 32768);
  fs::path path(std::wstring(self, n < 32768 ? n : 0));
  std::u8string folder = path.parent_path().u8string();
  return std::string(folder.begin(), folder.end()) + "\\";
#else
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path().string() + "/";
#endif
}
