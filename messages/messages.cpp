#include "messages/messages.h"

#include <cstdio>
#include <cstring>

#include "messages/process_state.h"
#include "messages/run_tally.h"
#include "messages/text_conversion.h"
#include "system/system.h"

const char* CurrentMessage = msg::kConnect;
const char* CurrentFile = nullptr;

int32_t FailureCode(uint32_t error) {
  int32_t code = LowCode(static_cast<int32_t>(error));
  return code != 0 ? code : -1;
}

int32_t OutOfMemoryFailure() {
  CurrentMessage = msg::kOutOfMemory;
  return kOutOfMemoryCode;
}

int32_t OpenFailure(uint32_t error) {
  CurrentMessage = msg::kOpen;
  return FailureCode(error);
}

int32_t ConnectionFailure(int32_t result) {
  if (result == kRunCancelled) return result;  // the user's choice, not the host's failure
  CurrentMessage = msg::kConnect;
  return result < 0 ? FailureCode(static_cast<uint32_t>(result)) : -1;
}

void FormatMessageText(const char16_t* format, int32_t code, char16_t* out, int capacity) {
  if (capacity <= 0) return;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(code));
  int used = 0;
  auto put = [&](char16_t unit) {
    if (used < capacity - 1) out[used++] = unit;
  };
  for (const char16_t* p = format; *p != 0; ++p) {
    if (p[0] == u'%' && p[1] == u'd') {
      for (const char* d = digits; *d != 0; ++d) put(static_cast<char16_t>(*d));
      ++p;
    } else if (p[0] == u'%' && p[1] == u'%') {
      put(u'%');
      ++p;
    } else {
      put(*p);
    }
  }
  out[used] = 0;
}

namespace {

bool IsMessage(const char* message) {
  // By text: the same message may sit at another address in each file that uses it.
  return CurrentMessage != nullptr && std::strcmp(CurrentMessage, message) == 0;
}

// "N files [before this one] were repaired in place", then, when the failure
// was not a file's, how many a walk that went on past them could not repair;
// then the end ("." or what became of the request).
void Repaired(const char* before, const char* end, char* out, int capacity) {
  const uint32_t repaired = SucceededFiles();
  char failed[48] = "";
  if (Tally.failures > 0 && CurrentFile == nullptr)
    std::snprintf(failed, sizeof failed, "; %u could not be repaired", Tally.failures);
  std::snprintf(out, capacity, "%u %s%s repaired in place%s%s", repaired,
                repaired == 1 ? "file" : "files", before, failed, end);
}

// What became of the files when the failure was not about one of them.
void FilesFate(char* out, int capacity) {
  if (SucceededFiles() == 0)
    std::snprintf(out, capacity, "No file was changed.");
  else
    Repaired(SucceededFiles() == 1 ? " was" : " were", ".", out, capacity);
}

}  // namespace

void ContextLine(int32_t code, char* out, int capacity) {
  if (capacity <= 0) return;
  out[0] = 0;
  const char* nothingSent = "; nothing was sent to the host editor.";
  const uint32_t before = SucceededFiles();
  if (CurrentFile != nullptr) {
    // The failing file itself may have been written in part.
    if (before == 0)
      std::snprintf(out, capacity, "%s",
                    FilesChanged ? "No other file was changed; nothing was sent to the host editor."
                                 : "No file was changed.");
    else
      Repaired(before == 1 ? " before this one was" : " before this one were", nothingSent, out,
               capacity);
    return;
  }
  if (!IsMessage(msg::kConnect) && !IsMessage(msg::kLaunch)) {
    // Out of memory for the request, say: it never went out.
    if (before == 0)
      std::snprintf(out, capacity, "No file was changed.");
    else
      Repaired(before == 1 ? " was" : " were", nothingSent, out, capacity);
    return;
  }
  const char* host = nullptr;
  switch (HostStage) {
    case RequestStage::kListing:
      host = "The host editor stopped before the request was sent.";
      break;
    case RequestStage::kRefused: host = "The host editor refused the request."; break;
    case RequestStage::kClosed:
      host = "The host editor closed while taking the request; it may have received part of it.";
      break;
    case RequestStage::kConnecting: break;
  }
  if (host != nullptr) {
    char files[96];
    FilesFate(files, sizeof files);
    std::snprintf(out, capacity, "%s %s", host, files);
    return;
  }
  // Codes of a host that is not registered at all: its identifier (499),
  // its class (340) or its program (338) is unknown to the system.
  int32_t low = LowCode(code);
  bool missing = low == LowCode(kClassStringInvalid) || low == LowCode(kClassNotRegistered) ||
                 low == LowCode(kRegistryKeyMissing);
  const char* text;
  if (missing)
    text = FilesChanged ? "The host editor does not appear to be installed. Files repaired "
                          "before this failure keep their repairs; none was sent to it."
                        : "The host editor does not appear to be installed. No file was changed.";
  else
    text = FilesChanged ? "Files repaired before this failure keep their repairs; none was sent "
                          "to the host editor."
                        : "No file was changed.";
  std::snprintf(out, capacity, "%s", text);
}

namespace {

// Appends the UTF-8 text to out (used units, capacity with the terminator),
// shortened in the middle with "\u2026" to at most room units: a name too long
// for the box is still recognisable by its start and its end.
void AppendShortened(const char* text, int room, char16_t* out, int* used, int capacity) {
  if (room > capacity - 1 - *used) room = capacity - 1 - *used;
  if (room <= 0) return;
  // UTF-8 never has fewer bytes than UTF-16 units, so a text of at most room
  // bytes fits; a longer one keeps whole characters from each end.
  auto lead = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
  char shown[kBoxTextCapacity];
  size_t length = std::strlen(text);
  size_t limit = static_cast<size_t>(room) < sizeof shown - 1 ? room : sizeof shown - 1;
  if (length <= limit) {
    std::memcpy(shown, text, length + 1);
  } else {
    size_t keep = limit > 2 ? (limit - 2) / 2 : 0;  // two units for the ellipsis
    size_t head = keep;
    while (head > 0 && !lead(text[head])) --head;
    size_t tail = length - keep;
    while (tail < length && !lead(text[tail])) ++tail;
    std::memcpy(shown, text, head);
    const char ellipsis[] = {'\xE2', '\x80', '\xA6'};  // U+2026 in UTF-8
    std::memcpy(shown + head, ellipsis, sizeof ellipsis);
    std::memcpy(shown + head + sizeof ellipsis, text + tail, length - tail + 1);
  }
  int n = Sys().MultiByteToWideChar(kCodePageUtf8, 0, shown, -1, out + *used, capacity - *used);
  if (n > 0) *used += n - 1;
  out[*used] = 0;
}

void AppendText(const char16_t* text, char16_t* out, int* used, int capacity) {
  for (; *text != 0 && *used < capacity - 1; ++text) out[(*used)++] = *text;
  out[*used] = 0;
}

}  // namespace

void ShowErrorBox(int32_t code, bool context) {
  constexpr int kTextCapacity = kBoxTextCapacity;
  constexpr int kMessageCapacity = 400;
  char16_t message[kMessageCapacity];
  char16_t* format = nullptr;
  if (ToWideAlloc(CurrentMessage, &format) == 0 && format != nullptr) {
    FormatMessageText(format, LowCode(code), message, kMessageCapacity);
    Sys().Release(format);
  } else {
    // The messages are plain ASCII: widen them unit by unit rather than
    // show nothing.
    char16_t plain[kMessageCapacity];
    int i = 0;
    for (const char* p = CurrentMessage; p != nullptr && *p != 0 && i < kMessageCapacity - 1; ++p)
      plain[i++] = static_cast<unsigned char>(*p);
    plain[i] = 0;
    FormatMessageText(plain, LowCode(code), message, kMessageCapacity);
  }

  // The message stays as it is; the file and the context come as lines of
  // their own (on Linux the file leads the line, as a Unix tool's does).
  static char16_t text[kTextCapacity];
  int used = 0;
  text[0] = 0;
  constexpr int kMessageRoom = kMessageCapacity + 4;  // the message and the line breaks
  constexpr int kContextRoom = 200;
  constexpr int kFileRoom = kTextCapacity - 1 - kMessageRoom - kContextRoom;
  if (CurrentFile != nullptr && !kFileBelowMessage) {
    AppendShortened(CurrentFile, kFileRoom, text, &used, kTextCapacity);
    AppendText(u": ", text, &used, kTextCapacity);
  }
  AppendText(message, text, &used, kTextCapacity);
  if (CurrentFile != nullptr && kFileBelowMessage) {
    AppendText(u"\n", text, &used, kTextCapacity);
    AppendShortened(CurrentFile, kFileRoom, text, &used, kTextCapacity);
  }
  if (context) {
    // The context is plain ASCII, within its room.
    char line[kContextRoom];
    ContextLine(code, line, sizeof line);
    AppendText(u"\n", text, &used, kTextCapacity);
    for (const char* p = line; *p != 0 && used < kTextCapacity - 1; ++p)
      text[used++] = static_cast<unsigned char>(*p);
    text[used] = 0;
  }

  ShowBox(text, kMessageBoxWarningOk);
}

void ShowBox(const char16_t* text, uint32_t style) {
  if (WideMode) {
    Sys().MessageBoxW(text, DropletCaption, style);
    return;
  }
  char caption[256] = {};
  static char narrow[kSummaryTextCapacity * 3];
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, DropletCaption, -1, caption, sizeof caption) == 0)
    caption[0] = 0;
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, text, -1, narrow, sizeof narrow) == 0)
    narrow[0] = 0;
  caption[sizeof caption - 1] = 0;
  narrow[sizeof narrow - 1] = 0;
  Sys().MessageBoxA(narrow, caption, style);
}

// The summary boxes' text, built in one buffer: ASCII texts, counts, and
// paths shortened as the error box shortens them.
namespace {

constexpr int kListedPathRoom = 160;

class SummaryText {
 public:
  SummaryText() { text_[0] = 0; }
  SummaryText& operator<<(const char* ascii) {
    for (const char* p = ascii; *p != 0 && used_ < kSummaryTextCapacity - 1; ++p)
      text_[used_++] = static_cast<unsigned char>(*p);
    text_[used_] = 0;
    return *this;
  }
  SummaryText& operator<<(uint64_t n) {
    char digits[24];
    int i = sizeof digits - 1;
    digits[i] = 0;
    do {
      digits[--i] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    return *this << (digits + i);
  }
  void Path(const char* utf8) {
    AppendShortened(utf8, kListedPathRoom, text_, &used_, kSummaryTextCapacity);
  }
  // A failure's message, completed with its code.
  void Message(const char* format, int32_t code) {
    char16_t wide[400];
    char16_t* converted = nullptr;
    if (ToWideAlloc(format, &converted) != 0 || converted == nullptr) return;
    FormatMessageText(converted, LowCode(code), wide, 400);
    Sys().Release(converted);
    AppendText(wide, text_, &used_, kSummaryTextCapacity);
  }
  // Up to kListedFiles lines "PATH: message" or "PATH: count", then "and K more".
  void List(const TalliedFile* files, uint32_t total) {
    uint32_t shown = total < kListedFiles ? total : kListedFiles;
    for (uint32_t i = 0; i < shown; ++i) {
      *this << "\n";
      Path(files[i].path);
      *this << ": ";
      if (files[i].message != nullptr)
        Message(files[i].message, files[i].code);
      else
        *this << files[i].damaged;
    }
    if (total > shown) *this << "\nand " << static_cast<uint64_t>(total - shown) << " more";
  }
  void Show(uint32_t style) {
    ShowBox(text_, style);
    Tally.summaryShown = true;
  }

 private:
  static char16_t text_[kSummaryTextCapacity];
  int used_ = 0;
};

char16_t SummaryText::text_[kSummaryTextCapacity];

}  // namespace

void ShowKeepGoingBox() {
  SummaryText box;
  box << static_cast<uint64_t>(Tally.failures) << " of " << static_cast<uint64_t>(Tally.files)
      << " files could not be repaired; the others were repaired and sent to the host editor.";
  if (FileDone == nullptr) box.List(Tally.failed, Tally.failures);
  box.Show(kMessageBoxWarningOk);
}

void ShowCheckBox() {
  // Only the documents that were read are counted as sound or damaged.
  uint64_t read = Tally.files - Tally.failures;
  SummaryText box;
  if (Tally.damagedFiles == 0) {
    box << "All " << read << " documents are sound.";
  } else {
    box << static_cast<uint64_t>(Tally.damagedFiles) << " of " << read << " documents need repair ("
        << Tally.damagedValues << " damaged values):";
    if (FileDone == nullptr) box.List(Tally.damaged, Tally.damagedFiles);
  }
  if (FileDone == nullptr) box.List(Tally.failed, Tally.failures);
  box.Show(kMessageBoxInformationOk);
}

void ShowReportBox() {
  SummaryText box;
  uint64_t all = Tally.files;
  if (Tally.damagedFiles == 0)
    box << "All " << all << " documents were sent to the host editor; none needed repair.";
  else
    box << "Repaired " << Tally.damagedValues << " damaged values in "
        << static_cast<uint64_t>(Tally.damagedFiles) << " of " << all << " documents; all " << all
        << " were sent to the host editor.";
  box.Show(kMessageBoxInformationOk);
}
