#include "messages/error_box.h"

#include <cstring>

#include "messages/context_line.h"
#include "messages/message_box.h"
#include "messages/messages.h"
#include "messages/reason_line.h"
#include "messages/run_tally.h"
#include "messages/summary_boxes.h"
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
  constexpr int kReasonRoom = 200;
  constexpr int kFileRoom = kTextCapacity - 1 - kMessageRoom - kContextRoom - kReasonRoom;
  if (CurrentFile != nullptr && !kFileBelowMessage) {
    AppendShortened(CurrentFile, kFileRoom, text, &used, kTextCapacity);
    AppendText(u": ", text, &used, kTextCapacity);
  }
  AppendText(message, text, &used, kTextCapacity);
  // Below the message, why it failed; a reason that names the file stands
  // for the file's own line.
  const Reason reason = FailureReason(code);
  if (CurrentFile != nullptr && kFileBelowMessage && !reason.afterName) {
    AppendText(u"\n", text, &used, kTextCapacity);
    AppendShortened(CurrentFile, kFileRoom, text, &used, kTextCapacity);
  }
  if (reason.text != nullptr) {
    AppendText(u"\n", text, &used, kTextCapacity);
    // The name shortened to what the reason and the context leave.
    int room = kTextCapacity - 1 - used - kContextRoom - static_cast<int>(std::strlen(reason.text));
    if (reason.afterName) AppendShortened(CurrentFile, room, text, &used, kTextCapacity);
    AppendAscii(reason.text, text, &used, kTextCapacity);
  }
  if (context) {
    // The context is plain ASCII, within its room.
    char line[kContextRoom];
    ContextLine(code, line, sizeof line);
    AppendText(u"\n", text, &used, kTextCapacity);
    AppendAscii(line, text, &used, kTextCapacity);
  }

  // After a walk that went on past failed files, the box names them too.
  if (context && CurrentFile == nullptr && Tally.failures > 0 && FileDone == nullptr)
    ShowWithFailures(text);
  else
    ShowBox(text, kMessageBoxWarningOk);
}
