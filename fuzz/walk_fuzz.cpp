// The file-argument walk and the long-path expansion over arbitrary tails and
// directory trees: no crash, nothing written past a buffer.
//
// Input: a tree description, a NUL byte, then the tail. The tree holds one
// entry per line: a backslash path, optionally "|SHORT" for its short name.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/file_arguments.h"
#include "driver/long_path.h"
#include "host/host_objects.h"
#include "tests/support/fake_system.h"

namespace {

class CountingList : public HostList {
 public:
  int paths = 0;
  int32_t AddObjectItem(uint32_t, HostDescriptor*) override { return 0; }
  int32_t AddPathItem(HostString path) override {
    if (path != nullptr) (void)HostStringByteLength(path);
    ++paths;
    return 0;
  }
};

std::u16string Widen(const std::string& bytes) {
  std::u16string out;
  for (unsigned char c : bytes) out += static_cast<char16_t>(c);
  return out;
}

void BuildTree(FakeSystem& fake, const std::string& tree) {
  size_t start = 0;
  int entries = 0;
  while (start < tree.size() && entries < 64) {
    size_t end = tree.find('\n', start);
    if (end == std::string::npos) end = tree.size();
    std::string line = tree.substr(start, end - start);
    start = end + 1;
    std::string shortName;
    size_t bar = line.find('|');
    if (bar != std::string::npos) {
      shortName = line.substr(bar + 1);
      line.resize(bar);
    }
    // Only paths the fake can hold: a drive, then non-empty components.
    if (line.size() < 4 || line[1] != ':' || line[2] != '\\' || line.find("\\\\") != std::string::npos ||
        line.back() == '\\' || line.size() > 300)
      continue;
    fake.AddFile(Widen(line), std::string("/Values [ --.-00000"), Widen(shortName));
    ++entries;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* zero = std::memchr(bytes, 0, size);
  size_t treeSize = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : 0;
  std::string tree(bytes, treeSize);
  std::string tail = zero != nullptr ? std::string(bytes + treeSize + 1, size - treeSize - 1)
                                     : std::string(bytes, size);
  tail = tail.c_str();  // the tail is a C text

  FakeSystem fake;
  ScopedSystem scope(fake);
  BuildTree(fake, tree);

  CountingList list;
  std::vector<char> writable(tail.begin(), tail.end());
  writable.push_back(0);
  WalkFileArguments(writable.data(), &list);

  // The expansion alone, on the tail's units in an exact path buffer: the
  // path either stays as given or comes out within the work path's room,
  // with its separators where they were (a part replaced, never cut off).
  std::vector<char16_t> path(kPathCapacity, 0);
  std::u16string units = Widen(tail);
  size_t n = units.size() < kPathCapacity - 1 ? units.size() : kPathCapacity - 1;
  std::memcpy(path.data(), units.data(), n * sizeof(char16_t));
  std::u16string given(units.data(), n);
  ExpandLongPath(path.data());
  size_t length = 0;
  while (length < path.size() && path[length] != 0) ++length;
  if (length == path.size()) __builtin_trap();
  std::u16string expanded(path.data(), length);
  if (expanded != given) {
    if (length > kWorkPathRoom) __builtin_trap();
    auto separators = [](const std::u16string& text) {
      size_t count = 0;
      for (char16_t c : text) count += c == u'\\';
      return count;
    };
    if (separators(expanded) != separators(given)) __builtin_trap();
  }
  return 0;
}
