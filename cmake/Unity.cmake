# SPDX-License-Identifier: GPL-3.0-or-later
# Unity batches in the Windows build: <windows.h> defines macros (MessageBox,
# IDOK, MB_OK...) named like the program's own words, so a source that
# includes it (directly or through one of the program's win_, winusb_ or
# win32_ headers) compiles on its own, never in a batch before another
# source. Every other source is batched as on the other systems.

set(ZENTRIX_WINDOWS_INCLUDE
    "^[ \t]*#[ \t]*include[ \t]*[<\"]([^\">]*/)?(windows|winsock2|setupapi|win_[a-z_]*|winusb[a-z_]*|win32_[a-z_]*)\\.h[\">]")

# Marks the sources of the targets of `dir` and of the folders below it.
function(zentrix_keep_windows_sources_alone dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<" OR NOT source MATCHES "\\.(cpp|cc|cxx|c)$")
        continue()
      endif()
      if(IS_ABSOLUTE "${source}")
        set(path "${source}")
      else()
        set(path "${source_dir}/${source}")
      endif()
      if(NOT EXISTS "${path}")
        continue()
      endif()
      file(STRINGS "${path}" windows_includes REGEX "${ZENTRIX_WINDOWS_INCLUDE}")
      if(windows_includes)
        set_source_files_properties("${path}" DIRECTORY "${source_dir}"
                                    PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endif()
    endforeach()
  endforeach()
  get_property(folders DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    zentrix_keep_windows_sources_alone(${folder})
  endforeach()
endfunction()
