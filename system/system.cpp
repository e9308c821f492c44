#include "system/system.h"

#include <cstring>

System::~System() = default;

bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

namespace {
System* CurrentSystem = nullptr;
}

System& Sys() { return *CurrentSystem; }

System* InstallSystem(System* system) {
  System* previous = CurrentSystem;
  CurrentSystem = system;
  return previous;
}

uint32_t HostStringByteLength(const char16_t* text) {
  if (text == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const char*>(text) - 4, 4);
  return bytes;
}
