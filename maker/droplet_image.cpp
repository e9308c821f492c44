#include "maker/droplet_image.h"

#include <cstring>

#include "driver/settings_block.h"

namespace {

uint64_t Load(const std::vector<uint8_t>& f, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | f[at + i];
  return v;
}

// Every read below is checked against the file's length first.
bool Fits(const std::vector<uint8_t>& f, uint64_t at, uint64_t n) {
  return at <= f.size() && n <= f.size() - at;
}

bool IsSettingsName(const uint8_t* name, size_t room) {
  size_t n = std::strlen(kSettingsSection);
  if (n > room || std::memcmp(name, kSettingsSection, n) != 0) return false;
  for (size_t i = n; i < room; ++i)
    if (name[i] != 0) return false;
  return true;
}

bool FindInPe(const std::vector<uint8_t>& f, DropletImage* image, std::string* why) {
  uint64_t pe = Load(f, 0x3C, 4);
  if (!Fits(f, pe, 24) || std::memcmp(&f[pe], "PE\0\0", 4) != 0) {
    *why = "no PE header";
    return false;
  }
  uint64_t sections = Load(f, pe + 6, 2), optionalSize = Load(f, pe + 20, 2);
  uint64_t opt = pe + 24;
  if (!Fits(f, opt, optionalSize) || optionalSize < 2) {
    *why = "a cut optional header";
    return false;
  }
  uint64_t magic = Load(f, opt, 2);
  uint64_t dirs = magic == 0x10B ? opt + 96 : magic == 0x20B ? opt + 112 : 0;
  if (dirs == 0 || dirs > opt + optionalSize) {
    *why = "neither a PE32 nor a PE32+ header";
    return false;
  }
  image->checksumOffset = opt + 64;
  uint64_t count = Load(f, dirs - 4, 4);
  constexpr int kSecurityDirectory = 4;
  if (count > kSecurityDirectory && dirs + 8 * kSecurityDirectory + 8 <= opt + optionalSize)
    image->isSigned = Load(f, dirs + 8 * kSecurityDirectory + 4, 4) != 0;

  uint64_t table = opt + optionalSize;
  if (!Fits(f, table, 40 * sections)) {
    *why = "a cut section table";
    return false;
  }
  for (uint64_t i = 0; i < sections; ++i) {
    uint64_t at = table + 40 * i;
    if (!IsSettingsName(&f[at], 8)) continue;
    uint64_t virtualSize = Load(f, at + 8, 4), rawSize = Load(f, at + 16, 4);
    uint64_t raw = Load(f, at + 20, 4);
    if (virtualSize < kSettingsBlockSize || rawSize < kSettingsBlockSize ||
        !Fits(f, raw, kSettingsBlockSize)) {
      *why = "a settings section too small for the block";
      return false;
    }
    image->blockOffset = raw;
    return true;
  }
  *why = "no settings section";
  return false;
}

bool FindInElf(const std::vector<uint8_t>& f, DropletImage* image, std::string* why) {
  if (f.size() < 64 || f[4] != 2 || f[5] != 1) {
    *why = "not a 64-bit little-endian ELF program";
    return false;
  }
  uint64_t table = Load(f, 0x28, 8), entrySize = Load(f, 0x3A, 2), count = Load(f, 0x3C, 2);
  uint64_t names = Load(f, 0x3E, 2);
  if (entrySize < 64 || names >= count || !Fits(f, table, entrySize * count)) {
    *why = "a cut section table";
    return false;
  }
  uint64_t nameTable = Load(f, table + entrySize * names + 0x18, 8);
  uint64_t nameTableSize = Load(f, table + entrySize * names + 0x20, 8);
  if (!Fits(f, nameTable, nameTableSize)) {
    *why = "a cut section name table";
    return false;
  }
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t at = table + entrySize * i;
    uint64_t name = Load(f, at, 4);
    size_t room = std::strlen(kSettingsSection) + 1;
    if (name > nameTableSize || nameTableSize - name < room ||
        !IsSettingsName(&f[nameTable + name], room))
      continue;
    uint64_t offset = Load(f, at + 0x18, 8), size = Load(f, at + 0x20, 8);
    constexpr uint32_t kNoBits = 8;
    if (Load(f, at + 4, 4) == kNoBits || size < kSettingsBlockSize ||
        !Fits(f, offset, kSettingsBlockSize)) {
      *why = "a settings section too small for the block";
      return false;
    }
    image->blockOffset = offset;
    return true;
  }
  *why = "no settings section";
  return false;
}

}  // namespace

bool FindSettingsBlock(const std::vector<uint8_t>& file, DropletImage* image, std::string* why) {
  *image = DropletImage();
  bool found;
  if (file.size() >= 0x40 && file[0] == 'M' && file[1] == 'Z') {
    found = FindInPe(file, image, why);
  } else if (file.size() >= 4 && std::memcmp(file.data(), "\177ELF", 4) == 0) {
    found = FindInElf(file, image, why);
  } else {
    *why = "neither a Windows nor a Linux program";
    return false;
  }
  if (found && std::memcmp(&file[image->blockOffset], kSettingsMagic, sizeof kSettingsMagic) != 0) {
    *why = "a settings section without a settings block";
    return false;
  }
  return found;
}

uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumOffset) {
  auto byte = [&](size_t i) -> uint32_t {
    bool field = i >= checksumOffset && i < checksumOffset + 4;
    return i < file.size() && !field ? file[i] : 0;
  };
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    sum += byte(i) | byte(i + 1) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}
