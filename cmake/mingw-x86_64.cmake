# cmake/mingw-x86_64.cmake: toolchain file for the mingw64 preset -> 64-bit Windows PE programs
# (x86_64), for Windows without 32-bit support and for 64-bit Wine on kernels that cannot run
# 32-bit code. The rest is cmake/mingw.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MIMOZA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
