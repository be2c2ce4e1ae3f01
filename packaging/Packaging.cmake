# Installation like any Linux program (GNUInstallDirs) and the Debian package.
# The programs' own install rules live with them (app/, sim/); this file adds
# the library, the desktop integration, the man page, the udev rule template
# and the CPack settings.
if(NOT ZENTRIX_WITH_QT)
  return()
endif()

set(ZENTRIX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZENTRIX_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

# libzrenum: the run-time library only; nothing is built against it
# outside this project, so no headers and no development link.
install(TARGETS zrenum LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
# zentrix-update finds its libzrenum wherever the tree is installed.
set_property(TARGET zentrix-update PROPERTY INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

# The icon in the hicolor theme, drawn at build time by the same code that
# draws the window icon.
add_executable(zentrix-render-icon ${ZENTRIX_PACKAGING_DIR}/render_icon.cpp
                                   ${PROJECT_SOURCE_DIR}/ui/qt/updater_icon.cpp)
target_include_directories(zentrix-render-icon PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zentrix-render-icon PRIVATE Qt6::Gui)
zentrix_warnings(zentrix-render-icon)

set(ZENTRIX_ICON_SIZES 16 22 24 32 48 64 128 256)
set(zentrix_icon_files)
foreach(size IN LISTS ZENTRIX_ICON_SIZES)
  set(dir ${ZENTRIX_PACKAGING_OUT}/icons/${size}x${size}/apps)
  add_custom_command(OUTPUT ${dir}/zentrix-update.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND zentrix-render-icon ${size} ${dir}/zentrix-update.png
    DEPENDS zentrix-render-icon
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND zentrix_icon_files ${dir}/zentrix-update.png)
  install(FILES ${dir}/zentrix-update.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(zentrix_icons ALL DEPENDS ${zentrix_icon_files})

install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Below 73: uaccess tags must be set before 73-seat-late.rules reads them.
install(FILES ${ZENTRIX_PACKAGING_DIR}/60-zentrix-calculator.rules
        DESTINATION lib/udev/rules.d)

# The Debian package: cpack -G DEB in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentrix-update)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zentrix OS Update developers")
set(CPACK_PACKAGE_CONTACT "Zentrix OS Update developers <maintainers@zentrix-update.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "replaces the operating system of a Zentrix graphing calculator")
set(CPACK_PACKAGE_DESCRIPTION
    "Zentrix OS Update writes a new operating system into a Zentrix graphing\n"
    "calculator connected by USB or a serial cable. It checks the calculator's\n"
    "model and OS version against the OS image, loads an updater stub into the\n"
    "calculator's RAM, writes the OS image into its flash memory and reports the\n"
    "result. It runs as a Qt window on a desktop and in console mode elsewhere.\n"
    "The package also holds zentrix-calc-sim, a simulated calculator on a pty.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Dependencies worked out by dpkg-shlibdeps from the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
