// A heap buffer with a marker in front of and behind its usable bytes, so
// that a stray write past either end shows up (as a trace text) on release.
#pragma once

#include <cstdint>

class CBuffer {
 public:
  // Allocates size usable bytes plus the two 4-byte markers. A failed
  // allocation leaves data() null; the owner tests for it.
  explicit CBuffer(uint32_t size);
  ~CBuffer();
  CBuffer(const CBuffer&) = delete;
  CBuffer& operator=(const CBuffer&) = delete;

  uint32_t size() const { return size_; }
  // The whole allocation, markers included; null when there is none.
  uint8_t* data() const { return data_; }
  // The first usable byte (behind the start marker).
  uint8_t* usable() const { return data_ + 4; }

 private:
  uint32_t size_;
  uint8_t* data_;
};
