#include "messages/summary_boxes.h"

#include <cstdint>

#include "messages/message_box.h"
#include "messages/messages.h"
#include "messages/process_state.h"
#include "messages/report_file.h"
#include "messages/run_tally.h"
#include "messages/text_conversion.h"
#include "system/system.h"

// The summary boxes' text, built in one buffer: ASCII texts, counts, and
// paths shortened as the error box shortens them.
namespace {

constexpr int kListedPathRoom = 160;
// Kept free by the lists for the lines about the full list's file.
constexpr int kReportRoom = kListedPathRoom + 64;

class SummaryText {
 public:
  SummaryText() { text_[0] = 0; }
  SummaryText& operator<<(const char* ascii) {
    AppendAscii(ascii, text_, &used_, limit_);
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
  void Caption() { AppendText(DropletCaption, text_, &used_, limit_); }
  void Wide(const char16_t* text) { AppendText(text, text_, &used_, limit_); }
  // "N noun", agreeing in number.
  SummaryText& Count(uint64_t n, const char* one, const char* many) {
    return *this << n << " " << (n == 1 ? one : many);
  }
  SummaryText& operator<<(int32_t n) {
    if (n < 0) *this << "-";
    return *this << (n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n));
  }
  void Path(const char* utf8) { AppendShortened(utf8, kListedPathRoom, text_, &used_, limit_); }
  // A failure's message, completed with its code.
  void Message(const char* format, int32_t code) {
    char16_t wide[400];
    char16_t* converted = nullptr;
    if (ToWideAlloc(format, &converted) != 0 || converted == nullptr) return;
    FormatMessageText(converted, LowCode(code), wide, 400);
    Sys().Release(converted);
    AppendText(wide, text_, &used_, limit_);
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
  // The run's whole list: the box's own lines when they hold it (listed,
  // and nothing cut), or the file that does, named with a question whether
  // to open it (Yes and No), or why there is none.
  void Whole(bool listed, uint32_t* style) {
    bool cut = used_ >= limit_ - 1;
    limit_ = kSummaryTextCapacity;
    if (listed && !cut) return ReportDiscard();
    const char16_t* path = nullptr;
    if (int32_t code = ReportKeep(&path); code != 0) {
      *this << "\n\nThe full list could not be written (Error code " << code << ").";
    } else if (path != nullptr) {
      *this << "\n\nThe full list is in:\n";
      WidePath(path);
      *this << "\nOpen the full list?";
      *style = (*style & ~kMessageBoxButtons) | kMessageBoxYesNo;
    }
  }
  void Show(uint32_t style) {
    Tally.summaryShown = true;
    if (ShowBox(text_, style) != kIdYes || (style & kMessageBoxButtons) != kMessageBoxYesNo) return;
    if (ReportOpen()) return;
    int32_t code = FailureCode(Sys().GetLastError());
    SummaryText failed;
    failed << "The full list could not be opened (Error code " << code << ").";
    failed.Show(kMessageBoxWarningOk);
  }

 private:
  void WidePath(const char16_t* path) {
    static char utf8[kPathCapacity * 3];
    if (Sys().WideCharToMultiByte(kCodePageUtf8, 0, path, -1, utf8, sizeof utf8) == 0) utf8[0] = 0;
    Path(utf8);
  }

  static char16_t text_[kSummaryTextCapacity];
  int used_ = 0;
  int limit_ = kSummaryTextCapacity - kReportRoom;  // what the lists may fill
};

char16_t SummaryText::text_[kSummaryTextCapacity];

}  // namespace

namespace {

// What became of the documents when not every one was sent.
void SentPart(SummaryText& box, uint32_t sent, const char* some) {
  if (sent == 0)
    box << "; nothing was sent to the host editor.";
  else
    box << some << static_cast<uint64_t>(sent)
        << (sent == 1 ? " repaired document was" : " repaired documents were")
        << " sent to the host editor.";
}

}  // namespace

void ShowKeepGoingBox(bool everyFileSent, uint32_t sent) {
  SummaryText box;
  if (Tally.failures == Tally.files) {
    box << "None of the ";
    box.Count(Tally.files, "file", "files") << " could be repaired; nothing was sent to the host "
                                               "editor.";
  } else {
    // Of the files that did not fail, only those changed were repaired.
    const uint64_t rest = SucceededFiles(), changed = Tally.damagedFiles;
    box << static_cast<uint64_t>(Tally.failures) << " of ";
    box.Count(Tally.files, "file", "files") << " could not be repaired; ";
    if (changed == rest)
      box << (rest == 1 ? "the other was repaired" : "the others were repaired");
    else if (changed == 0)
      box << (rest == 1 ? "the other needed no repair" : "the others needed no repair");
    else
      box << "of the others, " << changed << (changed == 1 ? " was" : " were") << " repaired and "
          << rest - changed << " needed no repair";
    if (!everyFileSent)
      SentPart(box, sent, ", and the ");
    else if (changed == rest)
      box << " and sent to the host editor.";
    else if (changed == 0)
      box << (rest == 1 ? " and was" : " and were") << " sent to the host editor.";
    else
      box << ", and all " << rest << " were sent to the host editor.";
  }
  if (FileDone == nullptr) box.List(Tally.failed, Tally.failures);
  uint32_t style = kMessageBoxWarningOk;
  box.Whole(Tally.failures <= kListedFiles, &style);
  box.Show(style);
}

void ShowWithFailures(const char16_t* text) {
  SummaryText box;
  box.Wide(text);
  box << "\n\nThese could not be repaired:";
  box.List(Tally.failed, Tally.failures);
  uint32_t style = kMessageBoxWarningOk;
  box.Whole(Tally.failures <= kListedFiles, &style);
  box.Show(style);
}

void ShowCheckBox() {
  // Only the documents that were read are counted as sound or damaged.
  uint64_t read = Tally.files - Tally.failures;
  SummaryText box;
  if (Tally.damagedFiles == 0) {
    if (read == 1)
      box << "The 1 document is sound.";
    else
      box << "All " << read << " documents are sound.";
  } else {
    box << static_cast<uint64_t>(Tally.damagedFiles) << " of ";
    box.Count(read, "document", "documents")
        << (Tally.damagedFiles == 1 ? " needs" : " need") << " repair (";
    box.Count(Tally.damagedValues, "damaged value", "damaged values") << "):";
    if (FileDone == nullptr) box.List(Tally.damaged, Tally.damagedFiles);
  }
  if (FileDone == nullptr) box.List(Tally.failed, Tally.failures);
  // A file that could not be read leaves the check incomplete: a warning.
  uint32_t style = Tally.failures > 0 ? kMessageBoxWarningOk : kMessageBoxInformationOk;
  box.Whole(Tally.damagedFiles <= kListedFiles && Tally.failures <= kListedFiles, &style);
  box.Show(style);
}

void ShowReportBox(bool everyFileSent, uint32_t sent) {
  SummaryText box;
  uint64_t all = Tally.files;
  if (Tally.damagedFiles == 0 && everyFileSent) {
    if (all == 1)
      box << "The 1 document was sent to the host editor; it needed no repair.";
    else
      box << "All " << all << " documents were sent to the host editor; none needed repair.";
  } else {
    if (Tally.damagedFiles > 0) {
      box << "Repaired ";
      box.Count(Tally.damagedValues, "damaged value", "damaged values")
          << " in " << static_cast<uint64_t>(Tally.damagedFiles) << " of ";
      box.Count(all, "document", "documents");
    } else if (all == 1) {
      box << "The 1 document is sound";
    } else {
      box << "All " << all << " documents are sound";
    }
    if (!everyFileSent)
      SentPart(box, sent, "; the ");
    else if (all == 1)
      box << "; it was sent to the host editor.";
    else
      box << "; all " << all << " were sent to the host editor.";
  }
  box.Show(kMessageBoxInformationOk);
}

void ShowEmptyDropBox(bool folders, const char* purpose) {
  SummaryText box;
#ifdef _WIN32
  box << (folders ? "Drop documents or folders on \"" : "Drop documents on \"");
#else  // nothing is dropped on a command
  box << (folders ? "Give documents or folders to \"" : "Give documents to \"");
#endif
  box.Caption();
  box << "\" " << purpose;
  box.Show(kMessageBoxInformationOk);
}

void ShowNothingFoundBox() {
  SummaryText box;
  box << "No files were found in ";
  box.Path(Tally.firstNamed != nullptr ? Tally.firstNamed : "");
  if (Tally.named > 1) {
    box << " or in ";
    box.Count(Tally.named - 1, "other folder", "other folders");
  }
  box << ".";
  box.Show(kMessageBoxInformationOk);
}

void ShowStoppedBox() {
  SummaryText box;
  box << "Stopped. ";
  box.Count(Tally.damagedFiles, "file", "files")
      << (Tally.damagedFiles == 1 ? " was" : " were")
      << " repaired in place; nothing was sent to the host editor.";
  box.Show(kMessageBoxInformationOk);
}
