#include "repair/cbuffer.h"

#include <cstring>

#include "messages/trace.h"
#include "system/system.h"

namespace {
constexpr uint8_t kStartMarker[4] = {'f', 'e', 'e', 'd'};
constexpr uint8_t kEndMarker[4] = {'f', 'a', 'c', 'e'};
}  // namespace

CBuffer::CBuffer(uint32_t size) : size_(size), data_(nullptr) {
  TraceHook("CBuffer\n");
  data_ = static_cast<uint8_t*>(Sys().Allocate(static_cast<std::size_t>(size) + 8));
  if (data_ == nullptr) return;
  std::memcpy(data_, kStartMarker, 4);
  std::memcpy(data_ + size_ + 4, kEndMarker, 4);
}

CBuffer::~CBuffer() {
  if (data_ == nullptr) return;
  // Damaged markers are a debugging aid only: they change no result.
  if (std::memcmp(data_, kStartMarker, 4) != 0) TraceHook("Starting marker trashed.\n");
  if (std::memcmp(data_ + size_ + 4, kEndMarker, 4) != 0) TraceHook("Ending marker trashed.\n");
  Sys().Release(data_);
  data_ = nullptr;
}
