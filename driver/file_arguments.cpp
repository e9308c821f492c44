#include "driver/file_arguments.h"

#include <cstring>

#include "driver/driver.h"
#include "driver/file_point.h"
#include "driver/folder_walk.h"
#include "driver/long_path.h"
#include "host/host_call.h"
#include "host/host_objects.h"
#include "messages/messages.h"
#include "messages/progress.h"
#include "messages/run_tally.h"
#include "messages/text_conversion.h"
#include "messages/trace.h"
#include "repair/cfile_access.h"
#include "repair/repair_file.h"
#include "settings/droplet_settings.h"
#include "system/system.h"
#include "system/text16.h"

namespace {

// The host runs in a folder of its own: a relative name is made full, as the
// open resolves it, and the open then uses the same full path. A full path
// too long for the system or for the path buffer is refused by name; where
// the system cannot say otherwise, the path stays as given and the open
// decides.
uint32_t MakeFullPath(char16_t* path) {
  static char16_t full[kPathCapacity];
  uint32_t length = Sys().GetFullPathNameW(path, kPathCapacity, full);
  if (length >= static_cast<uint32_t>(kPathCapacity)) return kErrorFilenameTooLong;
  if (length == 0 && Sys().GetLastError() == kErrorFilenameTooLong) return kErrorFilenameTooLong;
  if (length != 0) std::memcpy(path, full, (length + 1) * sizeof(char16_t));
  return 0;
}

}  // namespace

namespace {

bool KeepsGoing() { return Settings.keepGoing || Settings.check; }

// Any option beyond the defaults: the run is then about an archive, and a
// file reached twice (a folder named twice, a folder and a file in it, two
// names of one file) is handled once. The plain droplet keeps the list of
// what was dropped, duplicates included.
bool ArchiveRun() { return HasRunOptions(Settings); }

// The files this run has opened, by identity: an open-addressed table in
// memory from the System, grown by doubling. Without memory to grow it, a
// file counts as new: it may then be handled twice, never skipped wrongly.
class CFileSet {
 public:
  void Clear() {
    Sys().Release(slots_);
    slots_ = nullptr;
    capacity_ = used_ = 0;
  }
  // True when identity was not in the set (and now is).
  bool Add(const FileIdentity& identity) {
    if ((used_ + 1) * 2 > capacity_ && !Grow()) return true;
    size_t i = Slot(identity);
    if (slots_[i].used) return false;
    slots_[i] = {identity, true};
    ++used_;
    return true;
  }

 private:
  struct Entry {
    FileIdentity identity;
    bool used;
  };
  size_t Slot(const FileIdentity& identity) const {
    uint64_t h =
        (identity.file ^ (identity.volume * 0x9E3779B97F4A7C15ull)) * 0xFF51AFD7ED558CCDull;
    size_t i = static_cast<size_t>(h >> 20) & (capacity_ - 1);
    while (slots_[i].used && !(slots_[i].identity == identity)) i = (i + 1) & (capacity_ - 1);
    return i;
  }
  bool Grow() {
    size_t grown = capacity_ == 0 ? 256 : capacity_ * 2;
    auto* bigger = static_cast<Entry*>(Sys().Allocate(grown * sizeof(Entry)));
    if (bigger == nullptr) return false;
    std::memset(bigger, 0, grown * sizeof(Entry));
    Entry* old = slots_;
    size_t oldCapacity = capacity_;
    slots_ = bigger;
    capacity_ = grown;
    for (size_t i = 0; i < oldCapacity; ++i)
      if (old[i].used) slots_[Slot(old[i].identity)] = old[i];
    Sys().Release(old);
    return true;
  }

  Entry* slots_ = nullptr;
  size_t capacity_ = 0, used_ = 0;
};

CFileSet Seen;

bool FirstTime(const FileIdentity& identity) { return Seen.Add(identity); }

}  // namespace

bool FirstVisit(SysHandle handle) {
  FileIdentity identity;
  return !ArchiveRun() || !Sys().GetFileIdentity(handle, &identity) || Seen.Add(identity);
}

int32_t FileFailed(int32_t code) {
  NoteFile({CurrentFile, code, 0});
  if (!KeepsGoing()) return code;
  CurrentFile = nullptr;
  return 0;
}

int32_t HandleFile(const char16_t* path, HostList* list, SysHandle folder, const char16_t* name) {
  // A cancel is no failure of the file: it is neither counted nor remembered.
  if (int32_t r = ProgressNextFile(CurrentFile); r != 0) return r;
  ToNarrowTrace(path);
  TraceHook("\n");
  uint64_t damaged = 0;
  FileTarget target{folder, name, ArchiveRun() ? FirstTime : nullptr};
  const FileTarget* at = name != nullptr || target.admit != nullptr ? &target : nullptr;
  int32_t result = Settings.check ? CheckFile(path, &damaged, at) : RepairFile(path, &damaged, at);
  // A found name that has become a link, or something other than a file,
  // since it was listed is passed over as a link in the listing is; a file
  // this run has already handled under another name is not handled again.
  if ((name != nullptr && result == static_cast<int32_t>(kErrorStoppedOnSymlink)) ||
      result == static_cast<int32_t>(kErrorSeenBefore)) {
    CurrentFile = nullptr;
    return 0;
  }
  if (result != 0) return FileFailed(result);
  // A check, a run that sends nothing (no list) and a sound file where only
  // the repaired ones are sent: counted, not listed.
  if (Settings.check || list == nullptr ||
      (Settings.send == SendFiles::kRepaired && damaged == 0)) {
    NoteFile({CurrentFile, 0, damaged});
    CurrentFile = nullptr;
    return 0;
  }
  TraceHook("Adding path\n");
  HostString counted = Sys().SysAllocString(path);
  if (counted == nullptr) return OutOfMemoryFailure();
  // Counted before the host takes it: the file is repaired in place even if
  // the host then fails, and the context line says so.
  NoteFile({CurrentFile, 0, damaged});
  CurrentFile = nullptr;  // a failure from here on is the host's, not the file's
  return Sent([&] { return list->AddPathItem(counted); });
}

void NameFound(const char16_t* path) {
  static char name[kTallyPathCapacity];
  if (Sys().WideCharToMultiByte(kCodePageUtf8, 0, path, -1, name, sizeof name) == 0) name[0] = 0;
  name[sizeof name - 1] = 0;
  CurrentFile = name;
}

namespace {

// One file argument: a quoted one is used as given, an unquoted one is
// expanded to its long form first. 0 to go on, or the code that ends the walk.
int32_t WalkArgument(const char* argument, bool quoted, HostList* list) {
  char token[kTokenCapacity];
  char16_t path[kPathCapacity];
  CurrentFile = argument;
  if (Tally.named++ == 0) Tally.firstNamed = argument;
  if (int32_t r = ProgressGoOn(); r != 0) return r;  // stopped by the user

  // A name that cannot be held or converted exactly is reported like a
  // file that cannot be opened: skipping it would send the host less than
  // the user dropped, and converting it loosely would name another file.
  size_t length = std::strlen(argument);
  uint32_t error = length >= static_cast<size_t>(kTokenCapacity) ? kErrorFilenameTooLong : 0;
  if (error == 0) {
    std::memcpy(token, argument, length + 1);
    error = ToWideFromUtf8(token, path, kPathCapacity);
  }
  if (error == 0) {
    if (!quoted) ExpandLongPath(path);
    error = MakeFullPath(path);
  }
  if (error != 0) return FileFailed(OpenFailure(error));
  return Settings.recursive ? WalkNamed(path, list) : HandleFile(path, list);
}

int32_t WalkTail(char* tail, HostList* list) {
  char* position = tail;
  while (*position == ' ') ++position;

  while (*position != 0) {
    bool quoted = *position == '"';
    char delimiter = quoted ? '"' : ' ';
    if (quoted) ++position;

    char* end = std::strchr(position, delimiter);
    if (end != nullptr) *end = 0;
    if (int32_t r = WalkArgument(position, quoted, list); r != 0) return r;

    if (end == nullptr || end[1] == 0) break;
    position = end + 1;
    while (*position == ' ') ++position;
  }
  return 0;
}

char* const* ArgumentPaths = nullptr;
int ArgumentCount = 0;

}  // namespace

int32_t WalkFileArguments(char* tail, HostList* list) {
  int32_t result = WalkTail(tail, list);
  Seen.Clear();  // the next run, in a test, starts with none seen
  return result;
}

void SetArgumentPaths(char* const* paths, int count) {
  ArgumentPaths = paths;
  ArgumentCount = count;
}

int32_t WalkArgumentPaths(char* /*tail*/, HostList* list) {
  int32_t result = 0;
  for (int i = 0; result == 0 && i < ArgumentCount; ++i)
    result = WalkArgument(ArgumentPaths[i], true, list);
  Seen.Clear();
  return result;
}
