// One repair pass over a fresh fake System that holds the given bytes as its
// only file: what the differential checks compare with the plain model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "repair/repair_file.h"
#include "tests/support/fake_system.h"

struct FakeRepair {
  int32_t result = 0;
  std::string bytes;  // the file afterwards
  std::size_t writes = 0;
  int liveAllocations = 0;
};

inline FakeRepair RepairOnFake(const std::string& bytes) {
  // Byte copies by memcpy: element-wise copies dominate an instrumented build.
  std::vector<uint8_t> data(bytes.size());
  if (!bytes.empty()) std::memcpy(data.data(), bytes.data(), bytes.size());
  FakeSystem fake;
  FakeSystem::Node& node = fake.AddFile(u"C:\\f.psd", std::move(data));
  FakeRepair out;
  {
    ScopedSystem installed(fake);
    out.result = RepairFile(u"C:\\f.psd");
  }
  out.bytes.assign(node.data.size(), '\0');
  if (!out.bytes.empty()) std::memcpy(out.bytes.data(), node.data.data(), out.bytes.size());
  out.writes = fake.LogOf("WriteFile").size();
  out.liveAllocations = fake.LiveAllocations();
  return out;
}
