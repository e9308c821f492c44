# Shared part of the MinGW-w64 cross builds; mingw-i686.cmake and
# mingw-x86_64.cmake set DROPLET_MINGW_PREFIX, DROPLET_WINE_ARCH and
# DROPLET_WINDOWS_ARCH (x86 or x64) first.
# The -posix thread variant: its libstdc++ has std::mutex and std::thread,
# which GoogleTest needs; linked statically, so the programs import system
# DLLs only.
set(CMAKE_SYSTEM_NAME Windows)

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

# Test programs run under Wine, each in a throwaway prefix of the build's
# architecture.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --arch ${DROPLET_WINE_ARCH})
