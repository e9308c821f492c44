#include "repair/repair_file.h"

#include <cstring>

#include "messages/messages.h"
#include "messages/trace.h"
#include "repair/cbuffer.h"
#include "repair/cfile_access.h"
#include "repair/repair_tokens.h"

namespace {

constexpr int32_t kTokenLength = kDamagedLength;

// Stores the failure's message and gives its code.
int32_t Failure(const char* trace, const char* message, int32_t code) {
  TraceHook(trace);
  CurrentMessage = message;
  return code;
}

// Examines every start offset f < end in the stream seen from the data area
// at base (negative offsets reach into the carry area) and writes the
// repaired token over each occurrence. The scan jumps to the next "/"; the
// token test itself compares byte by byte. After a partial match the next
// test begins at the byte that differed, which may be the "/" of an
// occurrence. Gives false when a write failed; *f ends at least at end.
bool ExamineChunk(const uint8_t* base, int32_t end, int32_t* f, CFileAccess& file) {
  const auto* token = reinterpret_cast<const uint8_t*>(DamagedValuesToken);
  int32_t at = *f;
  while (at < end) {
    // Where "/" bytes are dense a few plain steps beat the cost of a call.
    int32_t near = end - at < 16 ? end : at + 16;
    while (at < near && base[at] != token[0]) ++at;
    if (at == near) {
      if (at == end) break;
      const void* hit = std::memchr(base + at, token[0], static_cast<std::size_t>(end - at));
      if (hit == nullptr) {
        at = end;
        break;
      }
      at = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - base);
    }
    int32_t k = 1;
    while (k < kTokenLength && base[at + k] == token[k]) ++k;
    if (k < kTokenLength) {
      at += k;
      continue;
    }
    // A negative at lies in the carry area, before the read's position.
    uint32_t offset = file.position() + static_cast<uint32_t>(at);
    if (!file.WriteAt(offset, RepairedValuesToken, static_cast<uint32_t>(kRepairedLength))) {
      *f = at;
      return false;
    }
    at += kTokenLength;
  }
  *f = at;
  return true;
}

}  // namespace

int32_t RepairFile(const char16_t* path) {
  if (kRepairedLength != kDamagedLength) return paramErr;

  CBuffer buffer(static_cast<uint32_t>(CarrySize + ChunkSize));
  if (buffer.data() == nullptr) {
    CurrentMessage = msg::kOutOfMemory;
    return kOutOfMemoryCode;
  }
  uint8_t* carry = buffer.usable();
  uint8_t* base = carry + CarrySize;  // the data area; every read lands here
  std::memset(carry, 0, CarrySize);
  int32_t f = 0;

  // Declared after the buffer, so the file is closed before it is released.
  CFileAccess file(path);
  if (file.failed())
    return Failure("CFileAccess open error\n", msg::kOpen, FailureCode(file.error()));

  uint32_t count = ChunkSize;
  if (!file.Read(base, &count))
    return Failure("CFileAccess read error\n", msg::kRead, FailureCode(file.error()));
  int32_t n = static_cast<int32_t>(count);

  for (;;) {
    // A short chunk is the last one: its final start offset, an occurrence
    // ending with the file's last byte, has no later chunk to be found in.
    // A full chunk leaves that offset to the next one, through the carry.
    bool last = n < ChunkSize;
    int32_t end = last ? n - kTokenLength + 1 : n - kTokenLength;
    if (!ExamineChunk(base, end, &f, file))
      return Failure("CFileAccess write error\n", msg::kWrite, FailureCode(file.error()));

    int32_t tail = n - f;
    if (tail < 0 || tail > CarrySize)
      return Failure("RepairFile paramErr", msg::kInternal, paramErr);
    f = -tail;
    if (f < -CarrySize || f > ChunkSize)
      return Failure("RepairFile corErr", msg::kInternal, corErr);
    if (last) break;

    // Only the last CarrySize bytes move; the data area stays where it is.
    std::memmove(carry, base + n - CarrySize, CarrySize);
    count = ChunkSize;
    if (!file.Read(base, &count))
      return Failure("CFileAccess continue read error", msg::kRead, FailureCode(file.error()));
    n = static_cast<int32_t>(count);
  }

  TraceHook("Repair Done\n");
  return 0;
}
