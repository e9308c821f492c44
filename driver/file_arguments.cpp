#include "driver/file_arguments.h"

#include <cstring>

#include "host/host_call.h"
#include "host/host_objects.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/progress.h"
#include "messages/text_conversion.h"
#include "messages/trace.h"
#include "repair/repair_file.h"
#include "system/system.h"

namespace {

// Length of a text, never looking past capacity units.
int BoundedLength(const char16_t* text, int capacity) {
  int n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

// True when name (NUL-terminated, at most capacity units) spells part (n
// units), ignoring the case of ASCII letters. A wider fold could only make
// more names count as the same; where it would have said yes and this says
// no, the part simply stays as typed and the open still finds the file.
bool SpellsPart(const char16_t* part, int n, const char16_t* name, int capacity) {
  if (n == 0 || BoundedLength(name, capacity) != n) return false;
  for (int i = 0; i < n; ++i)
    if (FoldAscii(part[i]) != FoldAscii(name[i])) return false;
  return true;
}

// The host runs in a folder of its own: a relative name is made full, as the
// open resolves it, and the open then uses the same full path. Where the
// system cannot say, the path stays as given and the open decides.
uint32_t MakeFullPath(char16_t* path) {
  static char16_t full[kPathCapacity];
  uint32_t length = Sys().GetFullPathNameW(path, kPathCapacity, full);
  if (length >= static_cast<uint32_t>(kPathCapacity)) return kErrorFilenameTooLong;
  if (length != 0) std::memcpy(path, full, (length + 1) * sizeof(char16_t));
  return 0;
}

}  // namespace

void ExpandPathPrefix(char16_t* work) {
  FindData found;
  SysHandle search = Sys().FindFirstFileW(work, &found);
  if (search == kInvalidHandle) return;

  int length = BoundedLength(work, kWorkPathCapacity - 1);
  int lastSeparator = -1;
  for (int i = 0; i < length; ++i)
    if (work[i] == u'\\') lastSeparator = i;

  // The search answers for the path as the system normalises it ("/", ".",
  // "..", trailing dots and spaces) and, for a wildcard, with any entry that
  // matches. Only an answer that is the part's own entry, found under its
  // long or its short name, may stand in for it; anything else would put
  // another file in the droplet's hands. The first component (a drive, say)
  // is never replaced; nor is one whose replacement would not fit, counting
  // the whole prefix as it stands.
  const char16_t* part = work + lastSeparator + 1;
  int partLength = length - lastSeparator - 1;
  constexpr int kNameCapacity = sizeof found.cFileName / sizeof found.cFileName[0];
  constexpr int kShortCapacity =
      sizeof found.cAlternateFileName / sizeof found.cAlternateFileName[0];
  int nameLength = BoundedLength(found.cFileName, kNameCapacity);
  bool ownEntry = SpellsPart(part, partLength, found.cFileName, kNameCapacity) ||
                  SpellsPart(part, partLength, found.cAlternateFileName, kShortCapacity);
  if (lastSeparator >= 0 && ownEntry && nameLength + length + 2 <= kWorkPathCapacity) {
    std::memcpy(work + lastSeparator + 1, found.cFileName,
                static_cast<size_t>(nameLength) * sizeof(char16_t));
    work[lastSeparator + 1 + nameLength] = 0;
  }
  Sys().FindClose(search);
}

void ExpandLongPath(char16_t* path) {
  char16_t work[kWorkPathCapacity] = {};
  int used = 0;

  // Where the long form does not fit the work path, the path stays exactly
  // as given: a name cut to fit would be another file's name.
  const char16_t* rest = path;
  for (;;) {
    const char16_t* separator = rest;
    while (*separator != 0 && *separator != u'\\') ++separator;
    int n = static_cast<int>(separator - rest);
    if (n > kWorkPathRoom - used) return;
    std::memcpy(work + used, rest, static_cast<size_t>(n) * sizeof(char16_t));
    work[used + n] = 0;
    ExpandPathPrefix(work);
    used = BoundedLength(work, kWorkPathCapacity - 1);
    if (*separator == 0) break;
    if (used >= kWorkPathRoom) return;  // no room for the separator and what follows
    work[used++] = u'\\';
    work[used] = 0;
    rest = separator + 1;
  }
  std::memcpy(path, work, static_cast<size_t>(used + 1) * sizeof(char16_t));
}

int32_t WalkFileArguments(char* tail, HostList* list) {
  char token[kTokenCapacity];
  char16_t path[kPathCapacity];

  char* position = tail;
  while (*position == ' ') ++position;

  while (*position != 0) {
    bool quoted = *position == '"';
    char delimiter = quoted ? '"' : ' ';
    if (quoted) ++position;

    char* end = std::strchr(position, delimiter);
    if (end != nullptr) *end = 0;
    CurrentFile = position;
    if (int32_t r = ProgressNextFile(position); r != 0) return r;  // stopped by the user

    // A name that cannot be held or converted exactly is reported like a
    // file that cannot be opened: skipping it would send the host less than
    // the user dropped, and converting it loosely would name another file.
    size_t length = std::strlen(position);
    if (length >= static_cast<size_t>(kTokenCapacity)) return OpenFailure(kErrorFilenameTooLong);
    std::memcpy(token, position, length + 1);

    if (uint32_t error = ToWideFromUtf8(token, path, kPathCapacity); error != 0)
      return OpenFailure(error);
    if (!quoted) ExpandLongPath(path);
    if (uint32_t error = MakeFullPath(path); error != 0) return OpenFailure(error);

    ToNarrowTrace(path);
    TraceHook("\n");
    int32_t result = RepairFile(path);
    if (result != 0) return result;
    TraceHook("Adding path\n");

    HostString counted = Sys().SysAllocString(path);
    if (counted == nullptr) return OutOfMemoryFailure();
    CurrentFile = nullptr;  // a failure from here on is the host's, not the file's
    ++FilesRepaired;
    if (int32_t r = Sent([&] { return list->AddPathItem(counted); }); r != 0) return r;

    if (end == nullptr || end[1] == 0) break;
    position = end + 1;
    while (*position == ' ') ++position;
  }
  return 0;
}
