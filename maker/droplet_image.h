// Where a built droplet keeps its settings block: the section the build
// reserves, found by name in the program's headers (PE for either Windows
// architecture, ELF for Linux) and checked against the parts of them that
// the system's loader reads, so that the block found is the one the program
// runs with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DropletImage {
  size_t blockOffset = 0;     // in the file
  size_t blockSize = 0;       // what the program holds: at most kSettingsBlockSize
  size_t checksumOffset = 0;  // of the PE checksum field; 0 for ELF
  bool isSigned = false;      // a PE security directory is present
  // PE: the section's header and what growing the section changes. The
  // section is grown only when it is the last one, in the file and in memory.
  size_t sectionHeader = 0;  // 0 for ELF, whose section keeps its size
  size_t optionalHeader = 0;
  bool sectionIsLast = false;
  uint32_t fileAlignment = 0, sectionAlignment = 0;
};

// Finds the settings block in a program's bytes. false, with the reason in
// *why, when the bytes are not a droplet.
bool FindSettingsBlock(const std::vector<uint8_t>& file, DropletImage* image, std::string* why);

// Puts the first `used` bytes of a block (of kSettingsBlockSize bytes) into
// the program: ELF in place; PE with the settings section sized to hold them
// (at least kSettingsReserve, whole file-alignment units), the image size,
// the section's sizes and the checksum updated. false, with the reason in
// *why, when the section cannot hold them.
bool StampBlock(std::vector<uint8_t>* file, const DropletImage& image, const uint8_t* block,
                size_t used, std::string* why);

// The PE checksum of the file, computed as Windows computes it: 16-bit
// words summed with their carries folded in, the checksum field counted as
// zero, plus the file's length.
uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumOffset);
