#include "driver/long_path.h"

#include <cstring>

#include "system/system.h"
#include "system/text16.h"

namespace {

// True when name (NUL-terminated, at most capacity units) spells part (n
// units), ignoring the case of ASCII letters. A wider fold could only make
// more names count as the same; where it would have said yes and this says
// no, the part simply stays as typed and the open still finds the file.
bool SpellsPart(const char16_t* part, int n, const char16_t* name, int capacity) {
  if (n == 0 || TextLength(name, capacity) != n) return false;
  for (int i = 0; i < n; ++i)
    if (FoldAscii(part[i]) != FoldAscii(name[i])) return false;
  return true;
}

}  // namespace

void ExpandPathPrefix(char16_t* work) {
  FindData found;
  SysHandle search = Sys().FindFirstFileW(work, &found);
  if (search == kInvalidHandle) return;

  int length = TextLength(work, kWorkPathCapacity - 1);
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
  int nameLength = TextLength(found.cFileName, kNameCapacity);
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
    used = TextLength(work, kWorkPathCapacity - 1);
    if (*separator == 0) break;
    if (used >= kWorkPathRoom) return;  // no room for the separator and what follows
    work[used++] = u'\\';
    work[used] = 0;
    rest = separator + 1;
  }
  std::memcpy(path, work, static_cast<size_t>(used + 1) * sizeof(char16_t));
}
