#include "maker/droplet_image.h"

#include <cstring>

#include "settings/byte_order.h"
#include "settings/settings_block.h"

namespace {

// The least a settings section holds: the block's header and a little room.
constexpr uint64_t kLeastBlock = 256;

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

uint64_t RoundUp(uint64_t n, uint64_t unit) { return (n + unit - 1) / unit * unit; }

bool Refuse(std::string* why, const char* reason) {
  *why = reason;
  return false;
}

bool FindInPe(const std::vector<uint8_t>& f, DropletImage* image, std::string* why) {
  uint64_t pe = Load(f, 0x3C, 4);
  if (!Fits(f, pe, 24) || std::memcmp(&f[pe], "PE\0\0", 4) != 0) return Refuse(why, "no PE header");
  uint64_t sections = Load(f, pe + 6, 2), optionalSize = Load(f, pe + 20, 2);
  uint64_t characteristics = Load(f, pe + 22, 2);
  constexpr uint64_t kExecutableImage = 0x0002, kDll = 0x2000;
  if ((characteristics & kExecutableImage) == 0 || (characteristics & kDll) != 0)
    return Refuse(why, "a library or an object file, not a program");
  uint64_t opt = pe + 24;
  if (!Fits(f, opt, optionalSize) || optionalSize < 72) return Refuse(why, "a cut optional header");
  uint64_t magic = Load(f, opt, 2);
  uint64_t dirs = magic == 0x10B ? opt + 96 : magic == 0x20B ? opt + 112 : 0;
  if (dirs == 0 || dirs > opt + optionalSize)
    return Refuse(why, "neither a PE32 nor a PE32+ header");
  image->optionalHeader = opt;
  image->checksumOffset = opt + 64;
  image->sectionAlignment = static_cast<uint32_t>(Load(f, opt + 32, 4));
  image->fileAlignment = static_cast<uint32_t>(Load(f, opt + 36, 4));
  uint64_t imageSize = Load(f, opt + 56, 4);
  // As the format has them: powers of two, the file's from 512 bytes to
  // 64 KiB, the sections' no finer. The section grows in these units.
  auto powerOfTwo = [](uint32_t n) { return n != 0 && (n & (n - 1)) == 0; };
  if (!powerOfTwo(image->fileAlignment) || image->fileAlignment < 0x200 ||
      image->fileAlignment > 0x10000 || !powerOfTwo(image->sectionAlignment) ||
      image->sectionAlignment < image->fileAlignment)
    return Refuse(why, "a section or file alignment that is not a program's");
  uint64_t count = Load(f, dirs - 4, 4);
  constexpr int kSecurityDirectory = 4;
  if (count > kSecurityDirectory && dirs + 8 * kSecurityDirectory + 8 <= opt + optionalSize)
    image->isSigned = Load(f, dirs + 8 * kSecurityDirectory + 4, 4) != 0;

  uint64_t table = opt + optionalSize;
  if (!Fits(f, table, 40 * sections)) return Refuse(why, "a cut section table");
  uint64_t found = 0, lastFileEnd = 0, lastImageEnd = 0;
  for (uint64_t i = 0; i < sections; ++i) {
    uint64_t at = table + 40 * i;
    if (IsSettingsName(&f[at], 8)) {
      if (found != 0) return Refuse(why, "two settings sections");
      found = at;
      continue;
    }
    uint64_t rawSize = Load(f, at + 16, 4);
    if (rawSize != 0 && Load(f, at + 20, 4) + rawSize > lastFileEnd)
      lastFileEnd = Load(f, at + 20, 4) + rawSize;
    if (Load(f, at + 12, 4) + Load(f, at + 8, 4) > lastImageEnd)
      lastImageEnd = Load(f, at + 12, 4) + Load(f, at + 8, 4);
  }
  if (found == 0) return Refuse(why, "no settings section");
  uint64_t virtualSize = Load(f, found + 8, 4), address = Load(f, found + 12, 4);
  uint64_t rawSize = Load(f, found + 16, 4), raw = Load(f, found + 20, 4);
  // The loader maps virtualSize bytes from the file: all of them must be there.
  if (virtualSize < kLeastBlock || virtualSize > rawSize || !Fits(f, raw, rawSize))
    return Refuse(why, "a settings section too small for the block, or not all in the file");
  // Room for the largest block too, so that the image size still fits its field.
  if (address + virtualSize > imageSize || address + 2 * uint64_t{kSettingsBlockSize} > 0xFFFFFFFF)
    return Refuse(why, "a settings section outside the program's image");
  image->blockOffset = raw;
  image->blockSize = virtualSize < kSettingsBlockSize ? virtualSize : kSettingsBlockSize;
  image->sectionHeader = found;
  image->sectionIsLast = raw >= lastFileEnd && address >= lastImageEnd;
  return true;
}

bool FindInElf(const std::vector<uint8_t>& f, DropletImage* image, std::string* why) {
  if (f.size() < 64 || f[4] != 2 || f[5] != 1)
    return Refuse(why, "not a 64-bit little-endian ELF program");
  uint64_t type = Load(f, 0x10, 2), entry = Load(f, 0x18, 8);
  constexpr uint64_t kExecutable = 2, kShared = 3;
  if (type != kExecutable && !(type == kShared && entry != 0))
    return Refuse(why, "a library or an object file, not a program");
  uint64_t table = Load(f, 0x28, 8), entrySize = Load(f, 0x3A, 2), count = Load(f, 0x3C, 2);
  uint64_t names = Load(f, 0x3E, 2);
  if (entrySize < 64 || names >= count || !Fits(f, table, entrySize * count))
    return Refuse(why, "a cut section table");
  uint64_t nameTable = Load(f, table + entrySize * names + 0x18, 8);
  uint64_t nameTableSize = Load(f, table + entrySize * names + 0x20, 8);
  if (!Fits(f, nameTable, nameTableSize)) return Refuse(why, "a cut section name table");
  uint64_t found = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t at = table + entrySize * i;
    uint64_t name = Load(f, at, 4);
    size_t room = std::strlen(kSettingsSection) + 1;
    if (name > nameTableSize || nameTableSize - name < room ||
        !IsSettingsName(&f[nameTable + name], room))
      continue;
    if (found != 0) return Refuse(why, "two settings sections");
    found = at;
  }
  if (found == 0) return Refuse(why, "no settings section");
  uint64_t address = Load(f, found + 0x10, 8);
  uint64_t offset = Load(f, found + 0x18, 8), size = Load(f, found + 0x20, 8);
  constexpr uint32_t kNoBits = 8;
  if (Load(f, found + 4, 4) == kNoBits || size < kSettingsBlockSize ||
      !Fits(f, offset, kSettingsBlockSize))
    return Refuse(why, "a settings section too small for the block");

  // The loader reads the program headers, not the section headers: the
  // block must be where a loaded segment puts the section's address.
  uint64_t programs = Load(f, 0x20, 8), programSize = Load(f, 0x36, 2);
  uint64_t programCount = Load(f, 0x38, 2);
  if (programSize < 56 || !Fits(f, programs, programSize * programCount))
    return Refuse(why, "a cut program header table");
  constexpr uint64_t kLoad = 1;
  for (uint64_t i = 0; i < programCount; ++i) {
    uint64_t at = programs + programSize * i;
    uint64_t from = Load(f, at + 8, 8), loadedAt = Load(f, at + 0x10, 8);
    uint64_t fileSize = Load(f, at + 0x20, 8);
    if (Load(f, at, 4) != kLoad || offset < from || offset - from > fileSize ||
        fileSize - (offset - from) < size || address < loadedAt ||
        address - loadedAt != offset - from)
      continue;
    image->blockOffset = offset;
    image->blockSize = kSettingsBlockSize;
    return true;
  }
  return Refuse(why, "a settings section that no loaded segment holds where its address says");
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
    return Refuse(why, "neither a Windows nor a Linux program");
  }
  if (found && std::memcmp(&file[image->blockOffset], kSettingsMagic, sizeof kSettingsMagic) != 0)
    return Refuse(why, "a settings section without a settings block");
  return found;
}

bool StampBlock(std::vector<uint8_t>* file, const DropletImage& image, const uint8_t* block,
                size_t used, std::string* why) {
  std::vector<uint8_t>& f = *file;
  if (image.sectionHeader == 0) {
    if (used > image.blockSize) return Refuse(why, "the settings do not fit the droplet");
    std::memset(&f[image.blockOffset], 0, image.blockSize);
    std::memcpy(&f[image.blockOffset], block, used);
    return true;
  }
  // A PE section that ends the file and the image grows or shrinks in
  // place; nothing else moves. Anything after it (a signature, appended
  // data) would be cut off or overwritten: such a program is refused.
  if (!image.sectionIsLast || image.blockOffset + Load(f, image.sectionHeader + 16, 4) != f.size())
    return Refuse(why,
                  "its settings section is not the last part of the file (data follows it): "
                  "make the droplet from one built by this project");
  uint64_t rawSize =
      RoundUp(used > kSettingsReserve ? used : kSettingsReserve, image.fileAlignment);
  uint64_t oldRawSize = Load(f, image.sectionHeader + 16, 4);
  f.resize(image.blockOffset + rawSize);
  std::memset(&f[image.blockOffset], 0, rawSize);
  std::memcpy(&f[image.blockOffset], block, used);
  uint64_t address = Load(f, image.sectionHeader + 12, 4);
  Store32(&f[image.sectionHeader + 8], static_cast<uint32_t>(rawSize));
  Store32(&f[image.sectionHeader + 16], static_cast<uint32_t>(rawSize));
  Store32(&f[image.optionalHeader + 56],
          static_cast<uint32_t>(RoundUp(address + rawSize, image.sectionAlignment)));
  constexpr uint64_t kInitializedData = 0x40;
  if ((Load(f, image.sectionHeader + 36, 4) & kInitializedData) != 0)
    Store32(&f[image.optionalHeader + 8],
            static_cast<uint32_t>(Load(f, image.optionalHeader + 8, 4) - oldRawSize + rawSize));
  Store32(&f[image.checksumOffset], static_cast<uint32_t>(PeChecksum(f, image.checksumOffset)));
  return true;
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
