#include "messages/report_file.h"

#include <cstring>
#include <initializer_list>

#include "messages/messages.h"
#include "messages/process_state.h"
#include "system/capacities.h"
#include "system/system.h"
#include "system/text16.h"

namespace {

#ifdef _WIN32
constexpr char16_t kSeparator = u'\\';
#else
constexpr char16_t kSeparator = u'/';
#endif

enum class State { kOff, kWaiting, kOpen, kKept, kFailed };

struct Report {
  State state = State::kOff;
  SysHandle file = kInvalidHandle;
  uint32_t error = 0;
  char16_t path[kPathCapacity] = {};
};
Report Current;

// One line of the file: a path and its message, each at most a few KiB.
char Line[kTallyPathCapacity + 1024];

// Appends to a UTF-16 path; false when it does not fit.
bool Add(char16_t* out, int* used, const char16_t* text) {
  int n = TextLength(text);
  if (*used + n >= kPathCapacity) return false;
  std::memcpy(out + *used, text, static_cast<size_t>(n) * sizeof(char16_t));
  *used += n;
  out[*used] = 0;
  return true;
}

// The caption as a file name: the few characters a name cannot hold
// become '_'.
void AddCaption(char16_t* out, int* used, const char16_t* caption) {
  char16_t safe[kCaptionCapacity];
  int n = 0;
  for (; n < kCaptionCapacity - 1 && caption[n] != 0; ++n) {
    char16_t c = caption[n];
    safe[n] =
        (c < 0x20 || std::strchr("<>:\"/\\|?*", c < 0x80 ? static_cast<int>(c) : 1) != nullptr)
            ? u'_'
            : c;
  }
  safe[n] = 0;
  Add(out, used, n > 0 ? safe : u"droplet");
}

void AddNumber(char16_t* out, int* used, unsigned value, int digits) {
  char16_t text[8];
  text[digits] = 0;
  for (int i = digits - 1; i >= 0; --i, value /= 10)
    text[i] = static_cast<char16_t>(u'0' + value % 10);
  Add(out, used, text);
}

// Writes all of text, or gives the failure's code.
uint32_t Write(const char* text, size_t length) {
  uint32_t done = 0;
  if (!Sys().WriteFile(Current.file, text, static_cast<uint32_t>(length), &done))
    return Sys().GetLastError() != 0 ? Sys().GetLastError() : kErrorWriteFault;
  return done == length ? 0 : kErrorDiskFull;
}

// A failed write leaves no half list behind: the box says it could not be written.
void Abandon(uint32_t error) {
  if (Current.file != kInvalidHandle) {
    Sys().CloseHandle(Current.file);
    Sys().DeleteFileW(Current.path);
  }
  Current.file = kInvalidHandle;
  Current.error = error != 0 ? error : kErrorWriteFault;
  Current.state = State::kFailed;
}

void Put(char** at, const char* end, const char* text) {
  while (*text != 0 && *at < end) *(*at)++ = *text++;
}

void PutNumber(char** at, const char* end, int64_t value) {
  char digits[24];
  int i = sizeof digits - 1;
  digits[i] = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[--i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--i] = '-';
  Put(at, end, digits + i);
}

void WriteLine(char* at) {
  Put(&at, Line + sizeof Line, "\r\n");
  if (uint32_t error = Write(Line, static_cast<size_t>(at - Line)); error != 0) Abandon(error);
}

// Makes the folders and the file, and writes its first line.
uint32_t Create() {
  char16_t* path = Current.path;
  int used = 0;
  path[0] = 0;
  uint32_t length = Sys().GetLocalAppDataFolder(path, kPathCapacity);
  if (length == 0) return Sys().GetLastError() != 0 ? Sys().GetLastError() : kErrorEnvVarNotFound;
  if (length >= kPathCapacity) return kErrorFilenameTooLong;
  used = static_cast<int>(length);
  const char16_t separator[2] = {kSeparator, 0};
  for (const char16_t* folder : {u"droplet", u"Reports"}) {
    if (!Add(path, &used, separator) || !Add(path, &used, folder)) return kErrorFilenameTooLong;
    if (!Sys().CreateDirectoryW(path) && Sys().GetLastError() != kErrorAlreadyExists)
      return Sys().GetLastError();
  }
  LocalTime now = {};
  Sys().GetLocalTime(&now);
  if (!Add(path, &used, separator)) return kErrorFilenameTooLong;
  AddCaption(path, &used, DropletCaption);
  int named = used;
  // Two runs in one second: the later one's name gets a number.
  for (unsigned attempt = 1; attempt < 100; ++attempt) {
    used = named;
    bool fits = Add(path, &used, u" ");
    AddNumber(path, &used, now.year, 4);
    fits = fits && Add(path, &used, u"-");
    AddNumber(path, &used, now.month, 2);
    fits = fits && Add(path, &used, u"-");
    AddNumber(path, &used, now.day, 2);
    fits = fits && Add(path, &used, u" ");
    AddNumber(path, &used, now.hour, 2);
    AddNumber(path, &used, now.minute, 2);
    AddNumber(path, &used, now.second, 2);
    if (attempt > 1) {
      fits = fits && Add(path, &used, u" (");
      AddNumber(path, &used, attempt, attempt < 10 ? 1 : 2);
      fits = fits && Add(path, &used, u")");
    }
    if (!fits || !Add(path, &used, u".txt")) return kErrorFilenameTooLong;
    Current.file = Sys().CreateFileW(path, kGenericWrite, kShareRead, kCreateNew, 0);
    if (Current.file != kInvalidHandle) break;
    if (Sys().GetLastError() != kErrorFileExists && Sys().GetLastError() != kErrorAlreadyExists)
      return Sys().GetLastError();
  }
  if (Current.file == kInvalidHandle) return kErrorFileExists;
  Current.state = State::kOpen;

  char* at = Line;
  const char* end = Line + sizeof Line;
  Put(&at, end, "\xEF\xBB\xBF");
  char caption[kCaptionCapacity * 3];
  if (Sys().WideCharToMultiByte(kCodePageUtf8, 0, DropletCaption, -1, caption, sizeof caption) == 0)
    caption[0] = 0;
  Put(&at, end, caption);
  Put(&at, end, ": every damaged document and every file that failed");
  WriteLine(at);
  return 0;
}

}  // namespace

void ReportBegin(bool wanted) {
  ReportEnd();
  Current.error = 0;
  Current.state = wanted && FileDone == nullptr ? State::kWaiting : State::kOff;
}

void ReportNote(const FileOutcome& outcome) {
  if (outcome.code == 0 && outcome.damaged == 0) return;
  if (Current.state == State::kWaiting) {
    if (uint32_t error = Create(); error != 0) Abandon(error);
  }
  if (Current.state != State::kOpen) return;
  char* at = Line;
  const char* end = Line + sizeof Line - 2;  // room for the line end
  Put(&at, end, outcome.path != nullptr ? outcome.path : "");
  Put(&at, end, ": ");
  if (outcome.code != 0) {
    // The message as the box gives it, its code in place of the "%d".
    const char* message = CurrentMessage != nullptr ? CurrentMessage : "";
    const char* mark = std::strstr(message, "%d");
    for (const char* p = message; *p != 0 && at < end; ++p) {
      if (p == mark) {
        PutNumber(&at, end, LowCode(outcome.code));
        ++p;
      } else {
        *at++ = *p;
      }
    }
  } else {
    PutNumber(&at, end, static_cast<int64_t>(outcome.damaged));
    Put(&at, end, outcome.damaged == 1 ? " damaged value" : " damaged values");
  }
  WriteLine(at);
}

void ReportDiscard() {
  if (Current.state == State::kOpen) {
    Sys().CloseHandle(Current.file);
    Sys().DeleteFileW(Current.path);
    Current.file = kInvalidHandle;
  }
  if (Current.state != State::kKept) Current.state = State::kOff;
}

int32_t ReportKeep(const char16_t** path) {
  *path = nullptr;
  if (Current.state == State::kFailed) return FailureCode(Current.error);
  if (Current.state != State::kOpen) return 0;
  char* at = Line;
  const char* end = Line + sizeof Line - 2;
  Put(&at, end, "\r\nTotals: ");
  PutNumber(&at, end, Tally.files);
  Put(&at, end, " files; ");
  PutNumber(&at, end, Tally.damagedFiles);
  Put(&at, end, " with damaged values (");
  PutNumber(&at, end, static_cast<int64_t>(Tally.damagedValues));
  Put(&at, end, " damaged values); ");
  PutNumber(&at, end, Tally.failures);
  Put(&at, end, " failed.");
  WriteLine(at);
  if (Current.state != State::kOpen) return FailureCode(Current.error);
  if (!Sys().CloseHandle(Current.file)) {
    Current.file = kInvalidHandle;
    Sys().DeleteFileW(Current.path);
    Current.state = State::kFailed;
    Current.error = Sys().GetLastError();
    return FailureCode(Current.error);
  }
  Current.file = kInvalidHandle;
  Current.state = State::kKept;
  *path = Current.path;
  return 0;
}

bool ReportOpen() { return Current.state == State::kKept && Sys().ShellExecuteOpen(Current.path); }

void ReportEnd() {
  ReportDiscard();
  Current.state = State::kOff;
}
