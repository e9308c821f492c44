// Process-wide values that the driver fixes at start and the other layers read.
#pragma once

// True while the system's wide-character calls work; chooses the wide or the
// ANSI variant of the message box and of the file open.
extern bool WideMode;  // design name

// True once a write to a document was attempted: a later failure says
// whether any file was changed.
extern bool FilesChanged;

// Title of the error box: the droplet's file name without an .e* extension.
inline constexpr int kCaptionCapacity = 256;
extern char16_t DropletCaption[kCaptionCapacity];  // design name
