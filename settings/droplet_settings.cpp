#include "settings/droplet_settings.h"

#include <cstring>

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

namespace {
const char* const kSendNames[] = {"all", "repaired", "none"};
}  // namespace

const char* SendName(SendFiles send) { return kSendNames[static_cast<int>(send) % 3]; }

bool SendFromName(const char* name, SendFiles* send) {
  for (int i = 0; i < 3; ++i) {
    if (std::strcmp(name, kSendNames[i]) != 0) continue;
    *send = static_cast<SendFiles>(i);
    return true;
  }
  return false;
}
