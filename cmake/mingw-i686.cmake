# Cross build of droplet.exe and the unit tests for 32-bit Windows with
# MinGW-w64. The -posix thread variant: its libstdc++ has std::mutex and
# std::thread, which GoogleTest needs; linked statically, so the programs
# import system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(DROPLET_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${DROPLET_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DROPLET_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DROPLET_MINGW_PREFIX}-windres)
set(CMAKE_AR ${DROPLET_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${DROPLET_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${DROPLET_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or libwinpthread DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, each in a throwaway prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
