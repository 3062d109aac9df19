# cmake/mingw.cmake: the part of the MinGW-w64 toolchain files that both Windows builds share,
# included by cmake/mingw-i686.cmake and cmake/mingw-x86_64.cmake once they have set
# MIMOZA_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR. Debian's cross compilers -> Windows PE programs.
# The posix-threads flavour is used so that std::thread works in the Windows tests; everything,
# winpthreads and the C++ runtime included, is linked statically, so mimoza.exe and each test
# program are one file that needs nothing beside them under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MIMOZA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIMOZA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MIMOZA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MIMOZA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained file per program: no libgcc, libstdc++ or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools built for the host cannot run here; scripts/test-windows runs them under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
