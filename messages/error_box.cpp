#include "messages/error_box.h"

#include "messages/context_line.h"
#include "messages/message_box.h"
#include "messages/messages.h"
#include "messages/text_conversion.h"
#include "system/capacities.h"
#include "system/system.h"

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
    AppendAscii(CurrentMessage != nullptr ? CurrentMessage : "", plain, &i, kMessageCapacity);
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
    AppendAscii(line, text, &used, kTextCapacity);
  }

  ShowBox(text, kMessageBoxWarningOk);
}
