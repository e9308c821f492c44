// Text capacities of each platform, in one place: what a path can be there.
// UTF-16 capacities count units, byte capacities bytes; all include the
// terminator.
#pragma once

#ifdef _WIN32
inline constexpr int kTokenCapacity = 512;         // one file argument, bytes
inline constexpr int kPathCapacity = 512;          // one file path, units
inline constexpr int kModulePathCapacity = 32768;  // the longest path the system gives
inline constexpr int kBoxTextCapacity = 1024;      // message, path line, context line
#else
inline constexpr int kTokenCapacity = 4096;  // PATH_MAX
inline constexpr int kPathCapacity = 4096;
inline constexpr int kModulePathCapacity = 4096;
inline constexpr int kBoxTextCapacity = 4096 + 1024;
#endif
