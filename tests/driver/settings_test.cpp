#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "settings/droplet_settings.h"
#include "settings/settings_block.h"

namespace {

TEST(DropletSettings, DefaultsSetTheirFieldsAndLeaveTheOthers) {
  DropletSettings saved = Settings;
  PathRecord folder = {};
  Settings = DropletSettings();
  EXPECT_STREQ(Settings.hostName, "");
  Settings.flagOvrO = true;
  Settings.flagOvrd = true;
  Settings.flagFldr = true;
  Settings.suppressWarnings = true;
  Settings.destinationMode = 3;
  Settings.logErrors = true;
  Settings.logFile = &folder;
  Settings.destinationFolder = &folder;
  Settings.namingSlots[2] = {7, "x"};
  Settings.compatUnix = true;
  Settings.actionDataLength = 0;

  ApplyDropletDefaults();
  const DropletSettings& s = Settings;
  EXPECT_STREQ(s.hostName, "Pixmantle");
  EXPECT_NE(s.actionData, nullptr);
  EXPECT_EQ(s.actionDataLength, 0u);
  EXPECT_FALSE(s.flagOvrO);
  EXPECT_FALSE(s.flagOvrd);
  EXPECT_FALSE(s.flagFldr);
  EXPECT_FALSE(s.suppressWarnings);
  EXPECT_EQ(s.destinationMode, 1);
  // untouched
  EXPECT_TRUE(s.logErrors);
  EXPECT_EQ(s.logFile, &folder);
  EXPECT_EQ(s.destinationFolder, &folder);
  EXPECT_EQ(s.namingSlots[2].code, 7);
  EXPECT_TRUE(s.compatUnix);
  Settings = saved;
}

TEST(DropletSettings, ComponentTableAndCustomTextCodes) {
  EXPECT_STREQ(kNamingComponentNames[1], "name");
  EXPECT_STREQ(kNamingComponentNames[9], "upperCaseSerial");
  EXPECT_STREQ(kNamingComponentNames[12], "yyyymmdd");
  EXPECT_STREQ(kNamingComponentNames[18], "upperCaseExtension");
  for (int code : {0, 19, -1, 20}) EXPECT_FALSE(IsPredefinedComponent(code)) << code;
  for (int code : {1, 18}) EXPECT_TRUE(IsPredefinedComponent(code)) << code;
}

TEST(DropletSettings, PathRecordTextStartsAtByteTwelve) {
  alignas(4) unsigned char block[12 + 8] = {};
  const char16_t path[] = u"C:\\";
  std::memcpy(block + 12, path, sizeof path);
  EXPECT_EQ(std::u16string(PathOfRecord(reinterpret_cast<const PathRecord*>(block))), u"C:\\");
}

uint32_t Load32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Store32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
// Where a span (0 host, 1-6 texts, 7 folder, 8 log, 9 action) starts.
uint32_t SpanAt(const std::vector<uint8_t>& b, int span) { return Load32(b, 56 + 8 * span); }
// Recomputes the checksum, so that a change meets the checks behind it.
void Seal(std::vector<uint8_t>& b) { Store32(b, 16, Crc32(b.data() + 20, Load32(b, 12) - 20)); }

// A path record: twelve bytes before the text.
std::u16string Record(const std::u16string& path) { return std::u16string(6, u'\0') + path; }

// A droplet with every option: three components, two texts (one empty), a
// folder, two switches, a log, two flags, suppressed warnings, action data.
struct Stamped {
  std::u16string folder = Record(u"D:\\Repaired"), log = Record(u"\\\\server\\logs\\x.log");
  uint8_t action[5] = {'a', 0, 'b', 0, 0xFF};
  DropletSettings settings;
  Stamped() {
    DropletSettings& s = settings;
    s.hostName = "Other.Host";
    s.actionData = action;
    s.actionDataLength = sizeof action;
    s.flagOvrO = s.flagFldr = s.suppressWarnings = s.logErrors = true;
    s.compatWindows = s.compatUnix = true;
    s.destinationMode = 3;
    s.destinationFolder = reinterpret_cast<const PathRecord*>(folder.data());
    s.logFile = reinterpret_cast<const PathRecord*>(log.data());
    s.namingSlots[0] = {1, nullptr};
    s.namingSlots[1] = {kCustomTextCode, "_fixed"};
    s.namingSlots[2] = {kCustomTextCode, ""};
    s.namingSlots[3] = {17, nullptr};
  }
  std::vector<uint8_t> Block() const {
    std::vector<uint8_t> block(kSettingsBlockSize);
    EXPECT_TRUE(EncodeSettingsBlock(settings, block.data(), block.size()));
    return block;
  }
};

}  // namespace

TEST(SettingsBlock, ADamagedBlockIsRefusedAndChangesNothing) {
  using Damage = void (*)(std::vector<uint8_t>&);
  const struct {
    const char* what;
    Damage damage;
    bool seal;  // checksum recomputed: the damage meets the checks behind it
  } cases[] = {
      {"magic", [](auto& b) { b[0] = 'X'; }, false},
      {"a checksummed byte", [](auto& b) { b[SpanAt(b, 9)] ^= 1; }, false},
      {"version 2", [](auto& b) { Store32(b, 8, 2); }, true},
      {"version 3", [](auto& b) { Store32(b, 8, 3); }, true},
      {"version 4", [](auto& b) { Store32(b, 8, 4); }, true},
      {"used beyond the block", [](auto& b) { Store32(b, 12, kSettingsBlockSize + 1); }, false},
      {"destination mode 4", [](auto& b) { Store32(b, 20, 4); }, true},
      {"a switch of 2", [](auto& b) { b[25] = 2; }, true},
      {"slot code 20", [](auto& b) { Store32(b, 32, 20); }, true},
      {"a slot after an unused one", [](auto& b) { Store32(b, 32 + 4 * 5, 1); }, true},
      {"text for a component", [](auto& b) { Store32(b, 32 + 4, 1); }, true},
      {"no text for custom text", [](auto& b) { Store32(b, 32 + 4 * 4, 19); }, true},
      {"text without its terminator",
       [](auto& b) { b[SpanAt(b, 2) + Load32(b, 60 + 16) - 1] = 'x'; }, true},
      {"text outside ASCII", [](auto& b) { b[SpanAt(b, 2)] = 0xE9; }, true},
      {"text naming a folder", [](auto& b) { b[SpanAt(b, 2)] = '\\'; }, true},
      {"host name not a name", [](auto& b) { b[SpanAt(b, 0)] = '1'; }, true},
      {"span past the used bytes", [](auto& b) { Store32(b, 60, ~0u); }, true},
      {"span inside the fields", [](auto& b) { Store32(b, 56, 8); }, true},
      {"path at an odd offset", [](auto& b) { Store32(b, 56 + 8 * 7, SpanAt(b, 7) + 1); }, true},
      {"path with a NUL inside", [](auto& b) { b[SpanAt(b, 7) + 12 + 4] = 0; b[SpanAt(b, 7) + 13 + 4] = 0; }, true},
      {"relative path", [](auto& b) { b[SpanAt(b, 7) + 12 + 2] = 'x'; }, true},
      {"folder missing in mode 3", [](auto& b) { Store32(b, 56 + 8 * 7, 0); Store32(b, 60 + 8 * 7, 0); }, true},
      {"log missing while logging", [](auto& b) { Store32(b, 56 + 8 * 8, 0); Store32(b, 60 + 8 * 8, 0); }, true},
      {"naming without a folder", [](auto& b) { Store32(b, 20, 2); Store32(b, 56 + 8 * 7, 0); Store32(b, 60 + 8 * 7, 0); }, true},
      {"action data past the block", [](auto& b) { Store32(b, 60 + 8 * 9, kActionDataCapacity + 1); }, true},
  };
  Stamped stamped;
  for (const auto& c : cases) {
    std::vector<uint8_t> block = stamped.Block();
    c.damage(block);
    if (c.seal) Seal(block);
    DropletSettings s;
    s.hostName = "Pixmantle";
    s.destinationMode = 1;
    EXPECT_EQ(ApplySettingsBlock(block.data(), block.size(), &s), -50) << c.what;
    EXPECT_STREQ(s.hostName, "Pixmantle") << c.what;
    EXPECT_EQ(s.destinationMode, 1) << c.what;
    EXPECT_EQ(s.actionDataLength, 0u) << c.what;
  }
  std::vector<uint8_t> small(19, 0);
  DropletSettings s;
  EXPECT_EQ(ApplySettingsBlock(small.data(), small.size(), &s), -50) << "shorter than a header";
}

TEST(SettingsBlock, SettingsABlockCannotCarryAreNotWritten) {
  std::vector<uint8_t> block(kSettingsBlockSize);
  std::vector<uint8_t> big(kActionDataCapacity + 1);
  const struct {
    const char* what;
    void (*change)(DropletSettings&, std::vector<uint8_t>&);
  } cases[] = {
      {"text outside ASCII", [](DropletSettings& s, auto&) { s.namingSlots[1].text = "caf\xc3\xa9"; }},
      {"a relative folder", [](DropletSettings& s, auto&) {
         static const std::u16string r = Record(u"Repaired");
         s.destinationFolder = reinterpret_cast<const PathRecord*>(r.data()); }},
      {"more action data than it holds", [](DropletSettings& s, auto& big) {
         s.actionData = big.data(); s.actionDataLength = static_cast<uint32_t>(big.size()); }},
      {"mode 3 without a folder", [](DropletSettings& s, auto&) { s.destinationFolder = nullptr; }},
  };
  for (const auto& c : cases) {
    Stamped stamped;
    c.change(stamped.settings, big);
    EXPECT_FALSE(EncodeSettingsBlock(stamped.settings, block.data(), block.size())) << c.what;
  }
}

// The four options go in a block of the next version; a droplet without
// them keeps the earlier one, byte for byte. An option in a block turns the
// setting on and never off: the Linux droplet's options add to it.
TEST(SettingsBlock, OptionsComeInVersionTwoAndOnlyTurnSettingsOn) {
  Stamped stamped;
  EXPECT_EQ(Load32(stamped.Block(), 8), 1u);
  stamped.settings.recursive = stamped.settings.report = true;
  std::vector<uint8_t> block = stamped.Block();
  EXPECT_EQ(Load32(block, 8), 2u);
  DropletSettings s;
  s.check = true;
  ASSERT_EQ(ApplySettingsBlock(block.data(), block.size(), &s), 0);
  EXPECT_TRUE(s.recursive && s.report && s.check);
  EXPECT_FALSE(s.keepGoing);
  EXPECT_STREQ(s.hostName, "Other.Host");
  EXPECT_EQ(std::u16string(PathOfRecord(s.destinationFolder)), u"D:\\Repaired");

  block[136 + 1] = 2;  // keep-going neither 0 nor 1
  Seal(block);
  DropletSettings refused;
  EXPECT_EQ(ApplySettingsBlock(block.data(), block.size(), &refused), -50);
  EXPECT_FALSE(refused.recursive);
}

// Send comes in version 3, after the options; a droplet made without it
// keeps version 1 or 2. A droplet's unstamped block says which versions it
// reads; one without that mark reads 1 and 2.
TEST(SettingsBlock, SendComesInVersionThreeAndTheMarkSaysWhatIsRead) {
  for (SendFiles send : {SendFiles::kRepaired, SendFiles::kNone}) {
    Stamped stamped;
    stamped.settings.send = send;
    stamped.settings.keepGoing = true;
    std::vector<uint8_t> block = stamped.Block();
    EXPECT_EQ(Load32(block, 8), 3u);
    EXPECT_EQ(block[140], static_cast<uint8_t>(send));
    DropletSettings s;
    ASSERT_EQ(ApplySettingsBlock(block.data(), block.size(), &s), 0);
    EXPECT_EQ(s.send, send);
    EXPECT_TRUE(s.keepGoing);
    block[140] = 3;
    Seal(block);
    DropletSettings refused;
    EXPECT_EQ(ApplySettingsBlock(block.data(), block.size(), &refused), -50);
    EXPECT_EQ(refused.send, SendFiles::kAll);
  }
  Stamped plain;

  const uint8_t unstamped[kSettingsReserve] = DROPLET_UNSTAMPED_SETTINGS;
  DropletSettings s;
  EXPECT_EQ(ApplySettingsBlock(unstamped, sizeof unstamped, &s), 0);
  EXPECT_EQ(BlockVersionsRead(unstamped, sizeof unstamped), 3u);
  std::vector<uint8_t> older(unstamped, unstamped + sizeof unstamped);
  older[20] = 0;  // a droplet built before the mark
  EXPECT_EQ(BlockVersionsRead(older.data(), older.size()), 2u);
  EXPECT_EQ(BlockVersionsRead(plain.Block().data(), kSettingsBlockSize), 2u);
  plain.settings.send = SendFiles::kNone;
  EXPECT_EQ(BlockVersionsRead(plain.Block().data(), kSettingsBlockSize), 3u);
  // A made droplet carries its base's mark after the block, which still reads.
  plain.settings.send = SendFiles::kAll;
  std::vector<uint8_t> made = plain.Block();
  EXPECT_EQ(CarryVersionsRead(made.data(), made.size(), 3), (Load32(made, 12) + 3) / 4 * 4 + 8);
  EXPECT_EQ(BlockVersionsRead(made.data(), made.size()), 3u);
  EXPECT_EQ(ApplySettingsBlock(made.data(), made.size(), &s), 0);
}
