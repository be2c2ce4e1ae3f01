# SPDX-License-Identifier: GPL-3.0-or-later
# Shared compiler settings for every target of the project.
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
  if(ZENTRIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
