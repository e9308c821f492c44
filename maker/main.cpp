// droplet-maker's entry: the arguments as UTF-8 (on Windows from the wide
// command line, so that every path arrives exactly).
#include <cstdio>
#include <string>
#include <vector>

#include "maker/maker.h"
#include "maker/maker_files.h"

#ifdef _WIN32
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) {
      std::fprintf(stderr, "droplet-maker: argument %d holds a broken UTF-16 character\n", i);
      return 2;
    }
    std::string arg(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
    arg.pop_back();
    args.push_back(arg);
  }
  return MakerMain(args, OwnFolder(), stdout, stderr);
}
#else
int main(int argc, char** argv) {
  return MakerMain(std::vector<std::string>(argv + 1, argv + argc), OwnFolder(), stdout, stderr);
}
#endif
