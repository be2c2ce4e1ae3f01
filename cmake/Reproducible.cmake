# SPDX-License-Identifier: GPL-3.0-or-later
# The same source gives the same binaries whatever folder it is built in:
# file names in the code (__FILE__) and in the debug information, which the
# linker's build ID is computed over, name the source tree as "." and the
# build folder as "build". The later map wins where both match (a build
# folder inside the source tree). Debuggers find the sources with
# `directory SOURCE-TREE`.
#
# The library search path a program is linked with in the build folder is
# relative to the program ($ORIGIN/...), so it is the same in every build
# folder (install replaces it, but the build ID was computed over it).
#
# The packages' times come from SOURCE_DATE_EPOCH, set by cpack from the last
# commit (packaging/CPackProject.cmake.in).
if(ZENTRIX_WINDOWS)
  return()
endif()
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-ffile-prefix-map=a=b ZENTRIX_HAS_FILE_PREFIX_MAP)
if(ZENTRIX_HAS_FILE_PREFIX_MAP)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
