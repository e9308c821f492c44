// Where a built droplet keeps its settings block: the section the build
// reserves, found by name in the program's headers (PE for either Windows
// architecture, ELF for Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DropletImage {
  size_t blockOffset = 0;     // in the file; the block is kSettingsBlockSize bytes
  size_t checksumOffset = 0;  // of the PE checksum field; 0 for ELF
  bool isSigned = false;      // a PE security directory is present
};

// Finds the settings block in a program's bytes. false, with the reason in
// *why, when the bytes are not a droplet.
bool FindSettingsBlock(const std::vector<uint8_t>& file, DropletImage* image, std::string* why);

// The PE checksum of the file, computed as Windows computes it: 16-bit
// words summed with their carries folded in, the checksum field counted as
// zero, plus the file's length.
uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumOffset);
