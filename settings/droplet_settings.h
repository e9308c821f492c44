// The droplet's fixed configuration: which host to drive and what to send it
// besides the file list. Filled in code at start; nothing is read from outside.
// The driver fills the record at start, the host reads it, droplet-maker
// stamps it into a made droplet (settings_block.h).
#pragma once

#include <cstdint>

// A path record: 12 header bytes the droplet never reads, then a
// NUL-terminated UTF-16 path.
struct PathRecord {
  uint8_t header[12];
  char16_t path[1];
};

inline const char16_t* PathOfRecord(const PathRecord* record) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(record) + 12);
}

// Codes 1 to 18 select a predefined component; every other code custom text.
struct NamingComponent {  // design name
  int32_t code;
  const char* text;  // may be null
};

inline constexpr int kNamingSlotCount = 6;

// Which files a run hands to the host: every one given or found, only those
// it changed, or none (repair in place; the host is never contacted).
enum class SendFiles : uint8_t { kAll = 0, kRepaired = 1, kNone = 2 };
inline constexpr int kCustomTextCode = 19;

struct DropletSettings {  // design name
  const char* hostName = "";
  const uint8_t* actionData = nullptr;
  uint32_t actionDataLength = 0;
  bool flagOvrO = false;
  bool flagOvrd = false;
  bool flagFldr = false;
  int32_t destinationMode = 0;
  const PathRecord* destinationFolder = nullptr;
  bool suppressWarnings = false;
  bool logErrors = false;
  const PathRecord* logFile = nullptr;
  NamingComponent namingSlots[kNamingSlotCount] = {};
  bool compatMacintosh = false;
  bool compatWindows = false;
  bool compatUnix = false;
  // Options beyond the defaults, off unless a made droplet or an option of
  // the Linux droplet turns them on.
  bool recursive = false;  // a folder stands for the files in it and its subfolders
  bool keepGoing = false;  // a failed file is remembered and the walk goes on
  bool check = false;      // a read-only scan with counts; the host is not contacted
  bool report = false;     // a run that succeeded ends with a summary box
  SendFiles send = SendFiles::kAll;
};

// Any setting beyond the specified droplet's: the run is then about an
// archive (an empty drop says what to drop, a file reached twice is handled
// once).
inline bool HasRunOptions(const DropletSettings& s) {
  return s.recursive || s.keepGoing || s.check || s.report || s.send != SendFiles::kAll;
}

// The setting's names, as options and --show spell them; false for another.
const char* SendName(SendFiles send);
bool SendFromName(const char* name, SendFiles* send);

// The droplet's one settings record, filled at start and only read after.
extern DropletSettings Settings;

// Names of the predefined naming components, indexed by code (0 is unused).
extern const char* const kNamingComponentNames[19];

// True when a slot code selects a predefined component.
inline bool IsPredefinedComponent(int32_t code) { return code >= 1 && code <= 18; }

// Fills the fields the droplet sets at start; leaves the others as they are.
void ApplyDropletDefaults();
