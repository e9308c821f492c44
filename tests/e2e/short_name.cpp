// Prints the short (8.3) form of a path, as the system gives it.
//   short_name.exe <path>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  wchar_t shortPath[MAX_PATH];
  DWORD n = GetShortPathNameW(argv[1], shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  char text[MAX_PATH * 2];
  if (WideCharToMultiByte(CP_ACP, 0, shortPath, -1, text, sizeof text, nullptr, nullptr) == 0)
    return 1;
  std::printf("%s\n", text);
  return 0;
}
