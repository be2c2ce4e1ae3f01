# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix). The -posix compilers: the win32 thread model
# has no std::thread. Everything is linked statically, so the program needs
# no mingw DLL beside it (a missing one makes the program fail to start
# without a word).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZENTRIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZENTRIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENTRIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENTRIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZENTRIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests and tools built here run under wine (the 64-bit loader).
find_program(ZENTRIX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ZENTRIX_WINE NAMES wine64 wine)
# Its server: the tests that run in a prefix of their own stop it there.
find_program(ZENTRIX_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ZENTRIX_WINESERVER NAMES wineserver)
if(ZENTRIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENTRIX_WINE})
endif()
