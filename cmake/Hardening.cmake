# SPDX-License-Identifier: GPL-3.0-or-later
# Hardened code and linking for every ordinary build (release builds and the
# packages made from them): stack protector, stack-clash and control-flow
# protection, position-independent executables, read-only relocations bound
# at start-up, and _FORTIFY_SOURCE where the code is optimised (it needs -O).
# The sanitizer (ASan, UBSan, TSan) and fuzz builds bring their own
# instrumentation and go without.
option(ZENTRIX_HARDEN "Build with hardening flags (off under ZENTRIX_SANITIZE, ZENTRIX_TSAN and ZENTRIX_FUZZ)" ON)
if(NOT ZENTRIX_HARDEN OR ZENTRIX_SANITIZE OR ZENTRIX_TSAN OR ZENTRIX_FUZZ)
  return()
endif()

if(ZENTRIX_WINDOWS)
  # Windows executables: address-space layout randomisation (64-bit too) and
  # a non-executable data segment.
  add_link_options(LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)

add_compile_options(-fstack-protector-strong)
# Not every target architecture has these two.
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "ZENTRIX_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(LINKER:-z,relro LINKER:-z,now)
