#include "settings/settings_block.h"

#include <algorithm>
#include <cstring>

#include "settings/byte_order.h"
#include "system/text16.h"

namespace {

constexpr uint32_t kStamped = 1;
constexpr uint32_t kStampedWithOptions = 2;
constexpr uint32_t kStampedWithSend = 3;
constexpr uint32_t kChecksummedFrom = kBlockModeAt;
constexpr int kOptionCount = 4;
constexpr int kSwitchCount = 8;

// Spans, and the mark after a stamped block, start at 4-byte boundaries.
size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

// Where the spans' data may begin in a block of this version.
uint32_t DataAt(uint32_t version) {
  return version == kStampedWithSend      ? kBlockSendAt + 1
         : version == kStampedWithOptions ? kBlockOptionsAt + kOptionCount
                                          : kBlockOptionsAt;
}

enum Span { kHost = 0, kFirstText = 1, kFolder = 7, kLog = 8, kAction = 9, kSpanCount = 10 };

// The block's switches, in their order.
bool* Switch(DropletSettings& s, int i) {
  bool* switches[kSwitchCount] = {&s.flagOvrO,         &s.flagOvrd,  &s.flagFldr,
                                  &s.suppressWarnings, &s.logErrors, &s.compatMacintosh,
                                  &s.compatWindows,    &s.compatUnix};
  return switches[i];
}

// The version 2 options, in their order.
bool* Option(DropletSettings& s, int i) {
  bool* options[kOptionCount] = {&s.recursive, &s.keepGoing, &s.check, &s.report};
  return options[i];
}

bool IsReservedInName(char16_t c) {
  return c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
         c == u'<' || c == u'>' || c == u'|';
}

// The spans of a checked block, each within its used bytes.
class BlockReader {
 public:
  BlockReader(const uint8_t* block, uint32_t used, uint32_t dataAt)
      : block_(block), used_(used), dataAt_(dataAt) {}

  bool Span(int span, uint32_t* offset, uint32_t* length) const {
    *offset = Load32(block_ + kBlockSpansAt + 8 * span);
    *length = Load32(block_ + kBlockSpansAt + 8 * span + 4);
    if (*offset == 0) return *length == 0;
    return *offset >= dataAt_ && *offset <= used_ && *length <= used_ - *offset;
  }

  // A NUL-terminated text without a NUL inside; nullptr when absent.
  bool Text(int span, const char** text) const {
    uint32_t offset, length;
    if (!Span(span, &offset, &length)) return false;
    *text = nullptr;
    if (offset == 0) return true;
    if (length == 0 || block_[offset + length - 1] != 0) return false;
    const char* p = reinterpret_cast<const char*>(block_ + offset);
    if (std::memchr(p, 0, length - 1) != nullptr) return false;
    *text = p;
    return true;
  }

  // A path record whose path holds no NUL before its terminating unit.
  bool Path(int span, const PathRecord** record) const {
    uint32_t offset, length;
    if (!Span(span, &offset, &length)) return false;
    *record = nullptr;
    if (offset == 0) return true;
    if ((reinterpret_cast<uintptr_t>(block_) + offset) % alignof(char16_t) != 0) return false;
    if (length < 12 + 2 * sizeof(char16_t) || length % 2 != 0) return false;
    const uint8_t* units = block_ + offset + 12;
    uint32_t count = (length - 12) / 2;
    for (uint32_t i = 0; i < count; ++i) {
      bool last = i + 1 == count;
      bool nul = units[2 * i] == 0 && units[2 * i + 1] == 0;
      if (nul != last) return false;
    }
    *record = reinterpret_cast<const PathRecord*>(block_ + offset);
    return IsAbsoluteWindowsPath(PathOfRecord(*record));
  }

 private:
  const uint8_t* block_;
  uint32_t used_;
  uint32_t dataAt_;
};

// Reads a stamped block's fields over s; false at the first check it fails.
bool ReadStamped(const uint8_t* block, uint32_t version, uint32_t used, DropletSettings& s) {
  BlockReader reader(block, used, DataAt(version));
  if (version >= kStampedWithOptions) {
    for (int i = 0; i < kOptionCount; ++i) {
      if (block[kBlockOptionsAt + i] > 1) return false;
      if (block[kBlockOptionsAt + i] == 1) *Option(s, i) = true;
    }
  }
  if (version == kStampedWithSend) {
    if (block[kBlockSendAt] > static_cast<uint8_t>(SendFiles::kNone)) return false;
    s.send = static_cast<SendFiles>(block[kBlockSendAt]);
  }
  s.destinationMode = static_cast<int32_t>(Load32(block + kBlockModeAt));
  if (s.destinationMode < 1 || s.destinationMode > 3) return false;
  for (int i = 0; i < kSwitchCount; ++i) {
    if (block[kBlockSwitchesAt + i] > 1) return false;
    *Switch(s, i) = block[kBlockSwitchesAt + i] == 1;
  }

  const char* host;
  if (!reader.Text(kHost, &host)) return false;
  if (host != nullptr) {
    if (!IsHostName(host)) return false;
    s.hostName = host;
  }

  // Slots are named in order: after an unused one, every one is unused.
  bool unused = false;
  for (int i = 0; i < kNamingSlotCount; ++i) {
    NamingComponent& slot = s.namingSlots[i];
    slot.code = static_cast<int32_t>(Load32(block + kBlockCodesAt + 4 * i));
    if (slot.code < 0 || slot.code > kCustomTextCode || (unused && slot.code != 0)) return false;
    unused = slot.code == 0;
    if (!reader.Text(kFirstText + i, &slot.text)) return false;
    if ((slot.code == kCustomTextCode) != (slot.text != nullptr)) return false;
    if (slot.text != nullptr && !IsNamingText(slot.text)) return false;
  }

  if (!reader.Path(kFolder, &s.destinationFolder) || !reader.Path(kLog, &s.logFile)) return false;
  if ((s.destinationMode == 3) != (s.destinationFolder != nullptr)) return false;
  if (s.logErrors != (s.logFile != nullptr)) return false;
  // Naming belongs to a destination folder.
  if (s.destinationMode != 3 &&
      (s.namingSlots[0].code != 0 || s.compatMacintosh || s.compatWindows || s.compatUnix))
    return false;

  uint32_t offset, length;
  if (!reader.Span(kAction, &offset, &length) || length > kActionDataCapacity) return false;
  if (offset != 0) {
    s.actionData = block + offset;
    s.actionDataLength = length;
  }
  return true;
}

}  // namespace

uint32_t Crc32(const uint8_t* bytes, size_t n) {
  static const auto table = [] {
    struct {
      uint32_t entries[256];
    } t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t.entries[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) crc = table.entries[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool IsPortableText(const char* text) {
  for (const char* p = text; *p != 0; ++p)
    if (*p < 0x20 || *p > 0x7E) return false;
  return true;
}

bool IsNamingText(const char* text) {
  if (!IsPortableText(text) || std::strlen(text) > kNamingTextCapacity) return false;
  for (const char* p = text; *p != 0; ++p)
    if (IsReservedInName(static_cast<char16_t>(*p))) return false;
  return true;
}

bool IsHostName(const char* name) {
  size_t n = std::strlen(name);
  if (n == 0 || n > kHostNameCapacity) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0])) return false;
  for (const char* p = name; *p != 0; ++p)
    if (!letter(*p) && !(*p >= '0' && *p <= '9') && *p != '.') return false;
  return true;
}

bool IsAbsoluteWindowsPath(const char16_t* path) {
  size_t n = static_cast<size_t>(TextLength(path));
  if (n > kBlockPathCapacity) return false;
  size_t rest;  // where the characters of names begin
  if (n >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
      path[1] == u':' && path[2] == u'\\') {
    rest = 3;
  } else if (n >= 5 && path[0] == u'\\' && path[1] == u'\\') {
    // \\server\share: both named, and the server neither "." nor "?"
    size_t server = 2;
    while (server < n && path[server] != u'\\') ++server;
    if (server == 2 || server + 1 >= n || path[server + 1] == u'\\') return false;
    if (server == 3 && path[2] == u'.') return false;
    rest = 2;
  } else {
    return false;
  }
  for (size_t i = rest; i < n; ++i)
    if (path[i] != u'\\' && IsReservedInName(path[i])) return false;
  return true;
}

int32_t ApplySettingsBlock(const uint8_t* block, size_t size, DropletSettings* settings) {
  if (size < kChecksummedFrom || std::memcmp(block, kSettingsMagic, sizeof kSettingsMagic) != 0)
    return kBlockDamaged;
  uint32_t version = Load32(block + kBlockVersionAt), used = Load32(block + kBlockUsedAt),
           crc = Load32(block + kBlockCrcAt);
  if (version == 0) return used == 0 && crc == 0 ? 0 : kBlockDamaged;
  if (version < kStamped || version > kStampedWithSend || used < DataAt(version) || used > size)
    return kBlockDamaged;
  if (Crc32(block + kChecksummedFrom, used - kChecksummedFrom) != crc) return kBlockDamaged;

  DropletSettings read = *settings;
  if (!ReadStamped(block, version, used, read)) return kBlockDamaged;
  *settings = read;
  return 0;
}

namespace {

// Where a stamped block's carried mark stands: a tag, then the version.
constexpr uint8_t kReadsTag[4] = {'R', 'E', 'A', 'D'};
size_t MarkAt(const uint8_t* block) { return Align4(Load32(block + kBlockUsedAt)); }

}  // namespace

uint32_t BlockVersionsRead(const uint8_t* block, size_t size) {
  if (size < kBlockReadsAt + 4) return kStampedWithOptions;
  uint32_t version = Load32(block + kBlockVersionAt);
  uint32_t reads = version == 0 ? Load32(block + kBlockReadsAt) : version;
  if (size_t at = MarkAt(block);
      version != 0 && at + 8 <= size && std::memcmp(block + at, kReadsTag, 4) == 0)
    reads = std::max(reads, Load32(block + at + 4));
  return std::max(reads, kStampedWithOptions);
}

size_t CarryVersionsRead(uint8_t* block, size_t size, uint32_t reads) {
  size_t at = MarkAt(block);
  if (at + 8 > size) return Load32(block + kBlockUsedAt);
  std::memcpy(block + at, kReadsTag, 4);
  Store32(block + at + 4, reads);
  return at + 8;
}

uint32_t BlockVersionFor(const DropletSettings& settings) {
  // A droplet without the newer settings keeps the earlier version, byte for byte.
  if (settings.send != SendFiles::kAll) return kStampedWithSend;
  DropletSettings s = settings;
  for (int i = 0; i < kOptionCount; ++i)
    if (*Option(s, i)) return kStampedWithOptions;
  return kStamped;
}

bool EncodeSettingsBlock(const DropletSettings& settings, uint8_t* block, size_t size) {
  DropletSettings s = settings;
  uint32_t version = BlockVersionFor(s);
  if (size < DataAt(version)) return false;
  std::memset(block, 0, size);
  std::memcpy(block, kSettingsMagic, sizeof kSettingsMagic);
  Store32(block + kBlockVersionAt, version);
  if (version >= kStampedWithOptions)
    for (int i = 0; i < kOptionCount; ++i) block[kBlockOptionsAt + i] = *Option(s, i) ? 1 : 0;
  if (version == kStampedWithSend) block[kBlockSendAt] = static_cast<uint8_t>(s.send);
  Store32(block + kBlockModeAt, static_cast<uint32_t>(settings.destinationMode));
  for (int i = 0; i < kSwitchCount; ++i) block[kBlockSwitchesAt + i] = *Switch(s, i) ? 1 : 0;
  for (int i = 0; i < kNamingSlotCount; ++i)
    Store32(block + kBlockCodesAt + 4 * i, static_cast<uint32_t>(s.namingSlots[i].code));

  size_t used = DataAt(version);
  // Appends bytes (a record's header first, when given) at a 4-byte boundary.
  auto put = [&](int span, const void* bytes, size_t length, size_t header) {
    used = Align4(used);
    if (used + header + length > size) return false;
    std::memset(block + used, 0, header);
    std::memcpy(block + used + header, bytes, length);
    Store32(block + kBlockSpansAt + 8 * span, static_cast<uint32_t>(used));
    Store32(block + kBlockSpansAt + 8 * span + 4, static_cast<uint32_t>(header + length));
    used += header + length;
    return true;
  };
  auto text = [&](int span, const char* t) {
    return t == nullptr || put(span, t, std::strlen(t) + 1, 0);
  };
  auto path = [&](int span, const PathRecord* record) {
    if (record == nullptr) return true;
    const char16_t* p = PathOfRecord(record);
    return put(span, p, (TextLength(p) + 1) * sizeof(char16_t), 12);
  };
  bool ok = (s.hostName == nullptr || *s.hostName == 0 || text(kHost, s.hostName)) &&
            path(kFolder, s.destinationFolder) && path(kLog, s.logFile) &&
            (s.actionDataLength == 0 || put(kAction, s.actionData, s.actionDataLength, 0));
  for (int i = 0; ok && i < kNamingSlotCount; ++i) ok = text(kFirstText + i, s.namingSlots[i].text);
  if (!ok) return false;

  Store32(block + kBlockUsedAt, static_cast<uint32_t>(used));
  Store32(block + kBlockCrcAt, Crc32(block + kChecksummedFrom, used - kChecksummedFrom));
  // What is written must read back: one set of rules, the decoder's.
  DropletSettings check;
  return ApplySettingsBlock(block, size, &check) == 0;
}
