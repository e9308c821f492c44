#include "settings/droplet_settings.h"

DropletSettings Settings;

// The table reads in rows of five.
// clang-format off
const char* const kNamingComponentNames[19] = {
    "unused",          "name",      "lowerCase", "upperCase",          "oneDigit",
    "twoDigit",        "threeDigit", "fourDigit", "lowerCaseSerial",    "upperCaseSerial",
    "mmddyy",          "mmdd",      "yyyymmdd",  "yymmdd",             "yyddmm",
    "ddmmyy",          "ddmm",      "lowerCaseExtension", "upperCaseExtension"};
// clang-format on

namespace {
// Batch action data; the defaults send none of it (length 0).
const uint8_t kActionData[16] = {};
}  // namespace

void ApplyDropletDefaults() {
  DropletSettings& s = Settings;
  s.hostName = "Pixmantle";
  s.actionData = kActionData;
  s.flagOvrO = false;
  s.flagFldr = false;
  s.suppressWarnings = false;
  s.flagOvrd = false;
  s.destinationMode = 1;
}
