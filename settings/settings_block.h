// The settings block: a made droplet's batch options, stamped by
// droplet-maker into a section of the droplet's own image that the build
// reserves. Versioned, checksummed and bounded; the droplet reads nothing
// else from outside. In a Windows program the section is the image's last,
// built with a small reserve that droplet-maker grows to what the block
// uses; the Linux program keeps the block's full size.
//
// Layout (little-endian), from the block's start: the offsets below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/droplet_settings.h"

inline constexpr uint32_t kBlockMagicAt = 0;  // "DROPSETS"
// 0: unstamped, nothing else set; 1: stamped; 2: stamped with the options;
// 3: stamped with the options and send.
inline constexpr uint32_t kBlockVersionAt = 8;
inline constexpr uint32_t kBlockUsedAt = 12;  // bytes used, from the block's start
inline constexpr uint32_t kBlockCrcAt = 16;   // CRC-32 of the used bytes after this field
inline constexpr uint32_t kBlockModeAt = 20;  // destinationMode
// One byte each: OvrO, Ovrd, Fldr, suppressWarnings, logErrors, macintosh,
// windows, unix.
inline constexpr uint32_t kBlockSwitchesAt = 24;
inline constexpr uint32_t kBlockCodesAt = 32;  // six naming slot codes
// Ten spans (offset from the block's start, length in bytes): host name, six
// slot texts, destination folder, log file, action data. Offset 0: absent. A
// text is followed by its NUL; a path span is a path record (12 header
// bytes, the UTF-16 path, an even offset) and its NUL unit.
inline constexpr uint32_t kBlockSpansAt = 56;
// Versions 2 and 3: one byte each: recursive, keepGoing, check, report; the
// spans' data follows them (here in version 1).
inline constexpr uint32_t kBlockOptionsAt = 136;
// Version 3: one byte, send (0 all, 1 repaired, 2 none); the data follows it.
inline constexpr uint32_t kBlockSendAt = 140;
// In the unstamped block only, where a stamped one has its mode: the newest
// version this program reads, so that droplet-maker stamps no setting into
// a droplet that would not read it. Zero, in a droplet older than the
// field, stands for 2.
inline constexpr uint32_t kBlockReadsAt = kBlockModeAt;
inline constexpr uint32_t kNewestBlockVersion = 3;

// What ApplySettingsBlock gives for a block that fails a check; the droplet
// reports it as an internal error (the repair's paramErr, the same -50).
inline constexpr int32_t kBlockDamaged = -50;

// The section's name in the image (at most 8 characters, for PE).
inline constexpr char kSettingsSection[] = ".dropset";
inline constexpr char kSettingsMagic[8] = {'D', 'R', 'O', 'P', 'S', 'E', 'T', 'S'};
inline constexpr uint32_t kSettingsBlockSize = 0x102000;  // 1 MiB of action data and room
inline constexpr uint32_t kSettingsReserve = 0x1000;      // the Windows build's section
inline constexpr uint32_t kActionDataCapacity = 0x100000;
// The run forms "<host name>.Application.7" in 256 bytes.
inline constexpr int kHostNameCapacity = 241;
inline constexpr int kNamingTextCapacity = 255;  // bytes, without the terminator
inline constexpr int kBlockPathCapacity = 511;   // UTF-16 units, without the terminator

// The template the build places in the section: an unstamped block, with
// the newest version it reads at kBlockReadsAt.
#define DROPLET_UNSTAMPED_SETTINGS                                              \
  {                                                                             \
    'D', 'R', 'O', 'P', 'S', 'E', 'T', 'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, \
        static_cast<uint8_t>(kNewestBlockVersion), 0, 0, 0                      \
  }

// The block in this program's own image and the bytes its section holds, at
// most kSettingsBlockSize (settings_image.cpp, linked into the droplets only).
const uint8_t* OwnSettingsBlock();
size_t OwnSettingsBlockSize();

// Applies a block of `size` bytes over the settings. A block's option
// (recursive, keep-going, check, report) turns that setting on and never
// off, so that options given to the Linux droplet add to it. 0 when it was
// applied or is unstamped (the settings stay as they are); kBlockDamaged when
// it fails a check, and then nothing is changed. Pointers in the settings point
// into the block, which must outlive them.
int32_t ApplySettingsBlock(const uint8_t* block, size_t size, DropletSettings* settings);

// The newest block version a droplet whose block this is reads: the
// unstamped block's mark (2 without one); for a stamped block, the mark
// droplet-maker carried after its used bytes, else its version, at least 2.
uint32_t BlockVersionsRead(const uint8_t* block, size_t size);

// Carries the mark `reads` after a stamped block's used bytes, outside its
// checksum, so that a droplet made from this one knows what the program
// reads. The bytes to stamp: the used ones and the mark (the used ones
// alone when the block has no room for it).
size_t CarryVersionsRead(uint8_t* block, size_t size, uint32_t reads);

// The version EncodeSettingsBlock writes for these settings.
uint32_t BlockVersionFor(const DropletSettings& settings);

// Writes the settings as a stamped block of `size` bytes (zero-filled after
// the used bytes): the host name, the action data, the flags, destination
// mode 1, 2 or 3 with its folder, the naming slots and switches, the log;
// version 3 when send is not all, else version 2 with the options when any
// is on, else version 1 as before.
// False, with the block unspecified, when the settings break a rule that
// ApplySettingsBlock checks.
bool EncodeSettingsBlock(const DropletSettings& settings, uint8_t* block, size_t size);

// A text every ANSI code page holds as the same characters: printable ASCII.
bool IsPortableText(const char* text);

// A custom naming text: portable, at most kNamingTextCapacity bytes, without
// the characters no file name holds (\ / : * ? " < > |). It may be empty.
bool IsNamingText(const char* text);

// An absolute Windows path as a block carries it: a drive path (X:\...) or a
// UNC path (\\server\share...), at most kBlockPathCapacity units, without
// characters that no Windows path holds (control characters, / and "*:<>?|
// after the drive).
bool IsAbsoluteWindowsPath(const char16_t* path);

// A host name the run can form an identifier of: a letter, then letters,
// digits and dots, at most kHostNameCapacity bytes.
bool IsHostName(const char* name);

// The CRC-32 (IEEE) of n bytes.
uint32_t Crc32(const uint8_t* bytes, size_t n);
