// The platform's own System (POSIX natively, Win32 under Wine) and small
// helpers for tests that work on real files in a temporary folder.
#pragma once

#include <filesystem>
#include <string>

#include "system/system.h"

System& RealSystem();

// A fresh, empty folder under the system's temporary folder; removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& file);
std::u16string Utf16Path(const std::filesystem::path& file);
