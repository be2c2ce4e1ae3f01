# SPDX-License-Identifier: GPL-3.0-or-later
# Shared compiler settings for every target of the project.
if(ZENTRIX_LINE_TABLES)
  # After the build type's -g on the command line, so it wins. A backtrace
  # or a sanitizer's report still names every function, file and line; a
  # debugger sees no local variables. Packages are stripped either way.
  add_compile_options(-g1)
endif()

if(ZENTRIX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZENTRIX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(ZENTRIX_FUZZ)
  # Everything the fuzz targets link is instrumented for coverage.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(zentrix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # In a unity build every source is included into a batch, so GCC takes
    # a class defined in a source (an Impl holding owners from its source's
    # unnamed namespace) for one defined in a header.
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
  if(ZENTRIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
