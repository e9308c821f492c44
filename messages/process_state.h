// Process-wide values that the driver fixes at start and the other layers read.
#pragma once

// True while the system's wide-character calls work; chooses the wide or the
// ANSI variant of the message box and of the file open.
extern bool WideMode;  // design name

// True once a write to a document was attempted: a later failure says
// whether any file was changed.
extern bool FilesChanged;

// True when the run walks the folders it is given: a folder that failed
// is then one it could not open, not one it cannot take.
extern bool FoldersWalked;

// How far the request got, for the context line of a host failure: still
// connecting; listing the files or filling the request; or the request
// itself failed, turned down by the host or cut off inside the call.
enum class RequestStage { kConnecting, kListing, kRefused, kClosed };
extern RequestStage HostStage;

// Title of the error box: the droplet's file name without an .e* extension.
inline constexpr int kCaptionCapacity = 256;
extern char16_t DropletCaption[kCaptionCapacity];  // design name
