# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows packages: `cmake --build build-win --target zentrix_windows_package`
# writes build-win/package/zentrix-update-<version>-win64.zip,
# zentrix-update-<version>-setup.exe, zentrix-update-<version>.msi and the
# winget manifests in winget/<version>/ (packaging/windows/make-package).
find_program(ZENTRIX_MAKENSIS NAMES makensis)
find_program(ZENTRIX_WIXL NAMES wixl)
find_program(ZENTRIX_MSIINFO NAMES msiinfo)
if(ZENTRIX_MAKENSIS AND ZENTRIX_WIXL AND ZENTRIX_MSIINFO)
  add_custom_target(zentrix_windows_package
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-package ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/package
    DEPENDS zentrix-update zrenum
    COMMENT "Windows packages: zip, installer, MSI and winget manifests"
    VERBATIM)
elseif(NOT ZENTRIX_MAKENSIS)
  message(STATUS "makensis not found: no Windows installer (scripts/install-deps windows installs nsis)")
else()
  message(STATUS "wixl or msiinfo not found: no Windows packages (scripts/install-deps windows installs wixl and msitools)")
endif()
