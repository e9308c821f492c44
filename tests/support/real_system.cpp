#include "tests/support/real_system.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include "system/win32_system.h"
#else
#include "system/posix_system.h"
#endif

System& RealSystem() {
#ifdef _WIN32
  static Win32System system;
#else
  static PosixSystem system;
#endif
  return system;
}

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  std::ostringstream name;
  name << "droplet-test-" << seed() << "-" << counter++;
  path_ = std::filesystem::temp_directory_path() / name.str();
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::u16string Utf16Path(const std::filesystem::path& file) { return file.u16string(); }
