// A 5 GiB document that costs no disk: a sparse file, zero bytes but for
// damaged tokens at 1 GiB, across 2 GiB, at 3 GiB, across 4 GiB (each also
// across a 64 KiB read), past 4 GiB and at the very end of the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace sparse_document {

// The sanitizer build is unoptimised and instrumented: a 5 GiB pass takes
// minutes there, so it leaves these documents to the other builds.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kTooSlowHere = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kTooSlowHere = true;
#else
inline constexpr bool kTooSlowHere = false;
#endif
#else
inline constexpr bool kTooSlowHere = false;
#endif

inline constexpr uint64_t kGib = uint64_t(1) << 30;
inline constexpr uint64_t kSize = 5 * kGib;
inline constexpr uint64_t kTokens[] = {kGib,         2 * kGib - 9,      3 * kGib,
                                       4 * kGib - 10, 4 * kGib + 196604, 4 * kGib + kGib / 2,
                                       kSize - 19};

// Holes read fastest from memory: /dev/shm where it is there (under Wine
// through the drive that maps the root), else the fallback.
inline std::filesystem::path Folder(const std::filesystem::path& fallback) {
#ifdef _WIN32
  const char* shm = "Z:\\dev\\shm";
#else
  const char* shm = "/dev/shm";
#endif
  std::error_code ignored;
  return std::filesystem::is_directory(shm, ignored) ? std::filesystem::path(shm) : fallback;
}

// Writes bytes at each offset of kTokens (the last one sets the length),
// through the standard library rather than the System under test.
inline bool Make(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (uint64_t at : kTokens)
    out.seekp(static_cast<std::streamoff>(at)).write(bytes.data(), bytes.size());
  return out.flush().good();
}

// The document, under a name of its own in Folder(fallback), removed again
// with this object.
struct Document {
  std::filesystem::path file;
  bool made;
  Document(const std::filesystem::path& fallback, const std::string& token)
      : file(Folder(fallback) /
             ("droplet-sparse-" + std::to_string(std::random_device{}()) + ".psd")),
        made(Make(file, token)) {}
  ~Document() { std::error_code ignored; std::filesystem::remove(file, ignored); }
};

// count bytes from offset at ("" when they cannot be read).
inline std::string BytesAt(const std::filesystem::path& file, uint64_t at, uint32_t count) {
  std::string bytes(count, '\0');
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at)).read(bytes.data(), count);
  return in.gcount() == static_cast<std::streamsize>(count) ? bytes : "";
}

// The bytes around a token: 8 zero bytes, the token, 8 zero bytes (fewer
// after it at the end of the file).
inline std::string Around(const std::string& token, uint64_t at) {
  return std::string(8, '\0') + token + std::string(at + 27 <= kSize ? 8 : kSize - at - 19, '\0');
}

}  // namespace sparse_document
