#include "messages/messages.h"

#include <cstdio>
#include <cstring>

#include "messages/process_state.h"
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

// What became of the files when the failure was not about one of them.
void FilesFate(char* out, int capacity) {
  if (FilesRepaired == 0)
    std::snprintf(out, capacity, "No file was changed.");
  else
    std::snprintf(
        out, capacity,
        FilesRepaired == 1 ? "%d file was repaired in place." : "%d files were repaired in place.",
        FilesRepaired);
}

}  // namespace

void ContextLine(int32_t code, char* out, int capacity) {
  if (capacity <= 0) return;
  out[0] = 0;
  const int before = FilesRepaired;
  if (CurrentFile != nullptr) {
    // The failing file itself may have been written in part.
    if (before == 0)
      std::snprintf(out, capacity, "%s",
                    FilesChanged ? "No other file was changed; nothing was sent to the host editor."
                                 : "No file was changed.");
    else
      std::snprintf(out, capacity,
                    before == 1 ? "%d file before this one was repaired in place; nothing was "
                                  "sent to the host editor."
                                : "%d files before this one were repaired in place; nothing was "
                                  "sent to the host editor.",
                    before);
    return;
  }
  if (!IsMessage(msg::kConnect) && !IsMessage(msg::kLaunch)) {
    // Out of memory for the request, say: it never went out.
    if (before == 0)
      std::snprintf(out, capacity, "No file was changed.");
    else
      std::snprintf(out, capacity,
                    before == 1 ? "%d file was repaired in place; nothing was sent to the host "
                                  "editor."
                                : "%d files were repaired in place; nothing was sent to the host "
                                  "editor.",
                    before);
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

void ShowErrorBox(int32_t code) {
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
  // The context is plain ASCII, within its room.
  char context[kContextRoom];
  ContextLine(code, context, sizeof context);
  AppendText(u"\n", text, &used, kTextCapacity);
  for (const char* p = context; *p != 0 && used < kTextCapacity - 1; ++p)
    text[used++] = static_cast<unsigned char>(*p);
  text[used] = 0;

  if (WideMode) {
    Sys().MessageBoxW(text, DropletCaption, kMessageBoxWarningOk);
    return;
  }
  char caption[256] = {};
  static char narrow[kTextCapacity * 3];
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, DropletCaption, -1, caption, sizeof caption) == 0)
    caption[0] = 0;
  if (Sys().WideCharToMultiByte(kCodePageAnsi, 0, text, -1, narrow, sizeof narrow) == 0)
    narrow[0] = 0;
  caption[sizeof caption - 1] = 0;
  narrow[sizeof narrow - 1] = 0;
  Sys().MessageBoxA(narrow, caption, kMessageBoxWarningOk);
}
