# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows packages: `cmake --build build-win --target zentrix_windows_package`
# writes build-win/package/zentrix-update-<version>-win64.zip and
# zentrix-update-<version>-setup.exe (packaging/windows/make-package).
find_program(ZENTRIX_MAKENSIS NAMES makensis)
if(ZENTRIX_MAKENSIS)
  add_custom_target(zentrix_windows_package
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-package ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/package
    DEPENDS zentrix-update zrenum
    COMMENT "Windows packages: zip and installer"
    VERBATIM)
else()
  message(STATUS "makensis not found: no Windows installer (scripts/install-deps windows installs nsis)")
endif()
