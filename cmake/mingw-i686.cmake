# droplet.exe and its tests for 32-bit Windows (x86), run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DROPLET_MINGW_PREFIX i686-w64-mingw32)
set(DROPLET_WINE_ARCH win32)
set(DROPLET_WINDOWS_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
