# cmake/mingw-i686.cmake: toolchain file for the mingw preset -> 32-bit Windows PE programs (i686),
# which run on every Windows that runs Mimoza and under 32-bit Wine. The rest is cmake/mingw.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MIMOZA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
