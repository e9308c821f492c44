# droplet.exe and its tests for 64-bit Windows (x64), run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DROPLET_MINGW_PREFIX x86_64-w64-mingw32)
set(DROPLET_WINE_ARCH win64)
set(DROPLET_WINDOWS_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
