// Runs the repair pass once over the file named by its argument, with the
// POSIX System, so that the pass can be timed on its own.
#include <cstdio>
#include <vector>

#include "messages/messages.h"
#include "repair/repair_file.h"
#include "system/ansi_codec.h"
#include "system/posix_system.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: repair_once FILE\n");
    return 2;
  }
  PosixSystem system;
  ScopedSystem installed(system);
  uint32_t error = 0;
  int units = AnsiToWide(argv[1], -1, nullptr, 0, &error);
  if (units <= 0) {
    std::fprintf(stderr, "repair_once: cannot convert the path\n");
    return 2;
  }
  std::vector<char16_t> path(static_cast<std::size_t>(units));
  AnsiToWide(argv[1], -1, path.data(), units, &error);
  int32_t result = RepairFile(path.data());
  if (result != 0) {
    std::fprintf(stderr, "repair_once: ");
    std::fprintf(stderr, CurrentMessage, static_cast<int>(result));
    std::fprintf(stderr, "\n");
    return 1;
  }
  return 0;
}
