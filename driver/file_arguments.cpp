#include "driver/file_arguments.h"

#include <cstring>

#include "host/host_objects.h"
#include "messages/messages.h"
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

// Appends at most room units of part (length n) to work (length *used).
void AppendWithin(char16_t* work, int* used, const char16_t* part, int n) {
  int room = kWorkPathRoom - *used;
  if (room < 0) room = 0;
  if (n > room) n = room;
  std::memcpy(work + *used, part, static_cast<size_t>(n) * sizeof(char16_t));
  *used += n;
  work[*used] = 0;
}

}  // namespace

void ExpandPathPrefix(char16_t* work) {
  FindData found;
  SysHandle search = Sys().FindFirstFileW(work, &found);
  if (search == kInvalidHandle) return;

  char16_t copy[kWorkPathCapacity];
  int length = BoundedLength(work, kWorkPathCapacity - 1);
  std::memcpy(copy, work, static_cast<size_t>(length) * sizeof(char16_t));
  copy[length] = 0;

  int lastSeparator = -1;
  for (int i = 0; i < length; ++i)
    if (copy[i] == u'\\') lastSeparator = i;

  // The first component (a drive, say) is never replaced; nor is one whose
  // replacement would not fit, counting the whole prefix as it stands.
  int nameLength = BoundedLength(found.cFileName, 260);
  if (lastSeparator >= 0 && nameLength + length + 2 <= kWorkPathCapacity) {
    char16_t prefix[kWorkPathCapacity];
    std::memcpy(prefix, copy, static_cast<size_t>(lastSeparator) * sizeof(char16_t));
    prefix[lastSeparator] = u'\\';
    std::memcpy(prefix + lastSeparator + 1, found.cFileName,
                static_cast<size_t>(nameLength) * sizeof(char16_t));
    int newLength = lastSeparator + 1 + nameLength;
    prefix[newLength] = 0;
    std::memcpy(work, prefix, static_cast<size_t>(newLength + 1) * sizeof(char16_t));
  }
  Sys().FindClose(search);
}

void ExpandLongPath(char16_t* path) {
  char16_t work[kWorkPathCapacity];
  int used = 0;
  work[0] = 0;

  const char16_t* rest = path;
  for (;;) {
    const char16_t* separator = rest;
    while (*separator != 0 && *separator != u'\\') ++separator;
    if (*separator == 0) break;

    AppendWithin(work, &used, rest, static_cast<int>(separator - rest));
    ExpandPathPrefix(work);
    used = BoundedLength(work, kWorkPathCapacity - 1);
    if (used >= kWorkPathRoom) {
      // No room for the separator and what follows: the path is cut here,
      // as a final part longer than the room is.
      std::memcpy(path, work, static_cast<size_t>(used + 1) * sizeof(char16_t));
      return;
    }
    work[used++] = u'\\';
    work[used] = 0;
    rest = separator + 1;
  }

  int restLength = 0;
  while (rest[restLength] != 0) ++restLength;
  AppendWithin(work, &used, rest, restLength);
  ExpandPathPrefix(work);
  used = BoundedLength(work, kWorkPathCapacity - 1);
  std::memcpy(path, work, static_cast<size_t>(used) * sizeof(char16_t));
  path[used] = 0;
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

    // A token that does not fit the buffer with its terminator ends the walk
    // as a failed conversion does.
    size_t length = std::strlen(position);
    if (length >= static_cast<size_t>(kTokenCapacity)) return 0;
    std::memcpy(token, position, length + 1);

    if (ToWideFixed(token, path, kPathCapacity) != 0) return 0;
    if (!quoted) ExpandLongPath(path);

    ToNarrowTrace(path);
    TraceHook("\n");
    int32_t result = RepairFile(path);
    if (result != 0) return result;
    TraceHook("Adding path\n");

    HostString counted = Sys().SysAllocString(path);
    if (counted == nullptr) return OutOfMemoryFailure();
    list->AddPathItem(counted);

    if (end == nullptr || end[1] == 0) break;
    position = end + 1;
    while (*position == ' ') ++position;
  }
  return 0;
}
