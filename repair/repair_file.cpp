#include "repair/repair_file.h"

#include <cstring>

#include "messages/messages.h"
#include "messages/progress.h"
#include "messages/trace.h"
#include "repair/cbuffer.h"
#include "repair/cfile_access.h"
#include "repair/next_candidate.h"
#include "repair/repair_tokens.h"
#include "repair/scan_path.h"

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
// repaired token over each occurrence. The scan jumps to the next candidate
// that Next gives (see next_candidate.h); the token test itself compares
// byte by byte. After a partial match the next test begins at the byte that
// differed, which may be the "/" of an occurrence. Gives false when a write
// failed; *f ends at least at end.
// A read-only scan (file.readOnly()) counts the occurrences instead.
template <int32_t (*Next)(const uint8_t*, int32_t, int32_t)>
bool ExamineChunk(const uint8_t* base, int32_t end, int32_t* f, CFileAccess& file,
                  uint64_t* count) {
  const auto* token = reinterpret_cast<const uint8_t*>(DamagedValuesToken);
  int32_t at = *f;
  while (at < end) {
    at = Next(base, at, end);
    if (at == end) break;
    // Byte by byte, stopping at the first difference. Unrolled, each stop
    // has a branch of its own, which predicts better on dense text.
    int32_t k = 1;
#pragma GCC unroll 18
    for (; k < kTokenLength; ++k)
      if (base[at + k] != token[k]) break;
    if (k < kTokenLength) {
      at += k;
      continue;
    }
    ++*count;
    if (file.readOnly()) {
      at += kTokenLength;
      continue;
    }
    // A negative at lies in the carry area, before the read's position.
    uint64_t offset = file.position() + static_cast<uint64_t>(static_cast<int64_t>(at));
    if (!file.WriteAt(offset, RepairedValuesToken, static_cast<uint32_t>(kRepairedLength))) {
      *f = at;
      return false;
    }
    at += kTokenLength;
  }
  *f = at;
  return true;
}

bool ExamineChunkOn(ScanPath path, const uint8_t* base, int32_t end, int32_t* f, CFileAccess& file,
                    uint64_t* count) {
  switch (path) {
#if DROPLET_X86_VECTOR_SCAN
    case ScanPath::Avx2: return ExamineChunk<NextCandidateAvx2>(base, end, f, file, count);
    case ScanPath::Sse2: return ExamineChunk<NextCandidateSse2>(base, end, f, file, count);
#endif
    default: return ExamineChunk<NextCandidateWord>(base, end, f, file, count);
  }
}

int32_t ScanFile(const char16_t* path, CFileAccess::Mode mode, uint64_t* found,
                 const FileTarget* target) {
  *found = 0;
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
  CFileAccess file(path, mode, target);
  if (file.failed())
    return Failure("CFileAccess open error\n", file.readOnly() ? msg::kCheckRead : msg::kOpen,
                   FailureCode(file.error()));

  uint32_t count = ChunkSize;
  if (!file.Read(base, &count))
    return Failure("CFileAccess read error\n", file.readOnly() ? msg::kCheckRead : msg::kRead,
                   FailureCode(file.error()));
  int32_t n = static_cast<int32_t>(count);
  // Every path finds the same occurrences; the one taken is fixed for the file.
  const ScanPath scan = ResolvedScanPath();

  for (;;) {
    // A short chunk is the last one: its final start offset, an occurrence
    // ending with the file's last byte, has no later chunk to be found in.
    // A full chunk leaves that offset to the next one, through the carry.
    bool last = n < ChunkSize;
    int32_t end = last ? n - kTokenLength + 1 : n - kTokenLength;
    if (!ExamineChunkOn(scan, base, end, &f, file, found))
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
      return Failure("CFileAccess continue read error",
                     file.readOnly() ? msg::kCheckRead : msg::kRead, FailureCode(file.error()));
    n = static_cast<int32_t>(count);
    ProgressBytes(file.position() + count, file.handle());  // once per chunk, never in the scan
  }

  TraceHook("Repair Done\n");
  return 0;
}

}  // namespace

int32_t RepairFile(const char16_t* path, uint64_t* repaired, const FileTarget* target) {
  return ScanFile(path, CFileAccess::Mode::kRepair, repaired, target);
}

int32_t RepairFile(const char16_t* path) {
  uint64_t repaired = 0;
  return RepairFile(path, &repaired);
}

int32_t CheckFile(const char16_t* path, uint64_t* found, const FileTarget* target) {
  return ScanFile(path, CFileAccess::Mode::kCheck, found, target);
}
