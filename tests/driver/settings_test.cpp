#include <gtest/gtest.h>

#include <cstring>

#include "driver/droplet_settings.h"

namespace {

TEST(DropletSettings, DefaultsSetTheirFieldsAndLeaveTheOthers) {
  DropletSettings saved = gDropletSettings;
  PathRecord folder = {};
  gDropletSettings = DropletSettings();
  EXPECT_STREQ(gDropletSettings.hostName, "");
  gDropletSettings.flagOvrO = true;
  gDropletSettings.flagOvrd = true;
  gDropletSettings.flagFldr = true;
  gDropletSettings.suppressWarnings = true;
  gDropletSettings.destinationMode = 3;
  gDropletSettings.logErrors = true;
  gDropletSettings.logFile = &folder;
  gDropletSettings.destinationFolder = &folder;
  gDropletSettings.namingSlots[2] = {7, "x"};
  gDropletSettings.compatUnix = true;
  gDropletSettings.actionDataLength = 0;

  ApplyDropletDefaults();
  const DropletSettings& s = gDropletSettings;
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
  gDropletSettings = saved;
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

}  // namespace
