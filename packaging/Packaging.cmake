# SPDX-License-Identifier: GPL-3.0-or-later
# Installation like any Linux program (GNUInstallDirs) and the two Debian
# packages made by one CPack run:
#   zentrix-update    the updater, its private libzrenum, the desktop entry and
#                     folder action, the AppStream metainfo and screenshot, the
#                     icons, the manual page, the README, the schema of the
#                     --json events and the udev rule template;
#   zentrix-calc-sim  the simulated calculator and its manual page.
# Install rules that name no component belong to zentrix-update (the top
# CMakeLists.txt sets that default); sim/ marks its program for the second
# package.
if(NOT ZENTRIX_WITH_QT)
  return()
endif()

set(ZENTRIX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZENTRIX_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
# Until the project has a web site of its own these name a reserved domain:
# change them here, together.
set(ZENTRIX_HOMEPAGE "https://zentrix.example/os-update/")
set(ZENTRIX_APPSTREAM_ID example.zentrix.OsUpdate)
set(ZENTRIX_MAINTAINER "Zentrix OS Update maintainers <maintainers@users.noreply.c-seed-023ac122.example>")
set(ZENTRIX_RELEASE_DATE 2026-12-07)   # as in packaging/changelog
set(ZENTRIX_DEB_REVISION 1)            # as in packaging/changelog

# Everything `cmake --install` copies from the build tree is built by this
# target; the install step builds it first (see CMakeLists.txt).
add_custom_target(zentrix_installed)
add_dependencies(zentrix_installed zentrix-update zentrix-calc-sim zrenum)

# libzrenum is private to zentrix-update: it lives in the program's own
# library folder, found through the program's RUNPATH; no headers, no
# development link, no shlibs, no ldconfig.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(ZENTRIX_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/zentrix-update)
else()
  set(ZENTRIX_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/zentrix-update)
endif()
install(TARGETS zrenum LIBRARY DESTINATION ${ZENTRIX_PRIVATE_LIBDIR} NAMELINK_SKIP)
file(RELATIVE_PATH zentrix_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${ZENTRIX_PRIVATE_LIBDIR})
set_property(TARGET zentrix-update PROPERTY INSTALL_RPATH "$ORIGIN/${zentrix_bin_to_lib}")

# The icon in the hicolor theme, drawn at build time by the same code that
# draws the window icon.
set(ZENTRIX_ICON_SOURCE ${PROJECT_SOURCE_DIR}/ui/qt/updater_icon.cpp)
add_executable(zentrix-render-icon ${ZENTRIX_PACKAGING_DIR}/render_icon.cpp ${ZENTRIX_ICON_SOURCE})
target_include_directories(zentrix-render-icon PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zentrix-render-icon PRIVATE Qt6::Gui)
zentrix_warnings(zentrix-render-icon)

set(ZENTRIX_ICON_SIZES 16 22 24 32 48 64 128 256)
set(zentrix_generated)
foreach(size IN LISTS ZENTRIX_ICON_SIZES)
  set(dir ${ZENTRIX_PACKAGING_OUT}/icons/${size}x${size}/apps)
  add_custom_command(OUTPUT ${dir}/zentrix-update.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND zentrix-render-icon ${size} ${dir}/zentrix-update.png
    DEPENDS zentrix-render-icon
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND zentrix_generated ${dir}/zentrix-update.png)
  install(FILES ${dir}/zentrix-update.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The software-centre screenshots: the program's own windows, off screen.
add_executable(zentrix-take-screenshot ${ZENTRIX_PACKAGING_DIR}/take_screenshot.cpp
               ${ZENTRIX_PACKAGING_DIR}/screenshot_scenes.cpp)
target_include_directories(zentrix-take-screenshot PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zentrix-take-screenshot PRIVATE zentrix_ui_qt)
zentrix_warnings(zentrix-take-screenshot)
# The main window with its first box (no option), the class-set window at a
# set's end and the history window.
foreach(scene main class-set history)
  set(picture ${ZENTRIX_PACKAGING_OUT}/screenshots/${scene}-window.png)
  set(scene_option --${scene})
  if(scene STREQUAL "main")
    set(scene_option)
  endif()
  add_custom_command(OUTPUT ${picture}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZENTRIX_PACKAGING_OUT}/screenshots
    COMMAND zentrix-take-screenshot ${scene_option} ${picture}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    DEPENDS zentrix-take-screenshot
    COMMENT "Taking the screenshot of the ${scene} window"
    VERBATIM)
  list(APPEND zentrix_generated ${picture})
  install(FILES ${picture} DESTINATION ${CMAKE_INSTALL_DATADIR}/zentrix-update/screenshots)
endforeach()

set(ZENTRIX_METAINFO ${ZENTRIX_PACKAGING_OUT}/${ZENTRIX_APPSTREAM_ID}.metainfo.xml)
configure_file(${ZENTRIX_PACKAGING_DIR}/zentrix-update.metainfo.xml.in ${ZENTRIX_METAINFO} @ONLY)
install(FILES ${ZENTRIX_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, the changelog and the README go compressed, as gzip -9n makes them (no
# name, no time stamp: the same bytes on every build).
find_program(ZENTRIX_GZIP gzip REQUIRED)
function(zentrix_gzip source output)
  get_filename_component(plain ${output} NAME_WLE)
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${dir}/${plain}
    COMMAND ${ZENTRIX_GZIP} -9nf ${dir}/${plain}
    DEPENDS ${source}
    VERBATIM)
endfunction()
foreach(page zentrix-update zentrix-calc-sim)
  zentrix_gzip(${ZENTRIX_PACKAGING_DIR}/${page}.1 ${ZENTRIX_PACKAGING_OUT}/man/${page}.1.gz)
  list(APPEND zentrix_generated ${ZENTRIX_PACKAGING_OUT}/man/${page}.1.gz)
endforeach()
zentrix_gzip(${ZENTRIX_PACKAGING_DIR}/changelog ${ZENTRIX_PACKAGING_OUT}/doc/changelog.Debian.gz)
list(APPEND zentrix_generated ${ZENTRIX_PACKAGING_OUT}/doc/changelog.Debian.gz)
# The user's README (the permission message points to it).
zentrix_gzip(${PROJECT_SOURCE_DIR}/README.md ${ZENTRIX_PACKAGING_OUT}/doc/README.md.gz)
list(APPEND zentrix_generated ${ZENTRIX_PACKAGING_OUT}/doc/README.md.gz)
add_custom_target(zentrix_packaging_files ALL DEPENDS ${zentrix_generated})
add_dependencies(zentrix_installed zentrix_packaging_files)

install(FILES ${ZENTRIX_PACKAGING_OUT}/man/zentrix-update.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZENTRIX_PACKAGING_OUT}/doc/README.md.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zentrix-update)
# The schema of the --json events stays as it is, for tools to read directly.
install(FILES ${PROJECT_SOURCE_DIR}/docs/zentrix-update-events.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zentrix-update)
install(FILES ${ZENTRIX_PACKAGING_OUT}/man/zentrix-calc-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
foreach(pair updater:zentrix-update sim:zentrix-calc-sim)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${ZENTRIX_PACKAGING_DIR}/copyright ${ZENTRIX_PACKAGING_OUT}/doc/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  # Each override has its reason on the line above it.
  install(FILES ${ZENTRIX_PACKAGING_DIR}/lintian-overrides/${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()

install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# "Update a Zentrix calculator from this folder" on a folder's context menu
# (KDE file managers). The application entry itself names no MIME type, so it
# never becomes a candidate default for opening folders.
install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update-folder-action.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus
        RENAME zentrix-update.desktop)
# Below 73: uaccess tags must be set before 73-seat-late.rules reads them.
install(FILES ${ZENTRIX_PACKAGING_DIR}/60-zentrix-calculator.rules
        DESTINATION lib/udev/rules.d)

# The station as a system service, shipped but not enabled; its user comes
# from sysusers.d (made by the postinst). The unit names the program's
# installed path, so it is written at install time, when the prefix is known.
install(CODE "
  set(ZENTRIX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(ZENTRIX_MACHINE_CONFIG /etc/zentrix-update/zentrix-update.conf)
  configure_file(\"${ZENTRIX_PACKAGING_DIR}/zentrix-update-station.service.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/zentrix-update-station.service\" @ONLY)")
# What journalctl -x says of a run's record (systemd's trigger rebuilds
# the catalogue's database when the package is installed).
install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update.catalog DESTINATION lib/systemd/catalog)
install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update-station.sysusers DESTINATION lib/sysusers.d
        RENAME zentrix-update-station.conf)
# Without a session it needs polkit's leave for its logind inhibitor.
install(FILES ${ZENTRIX_PACKAGING_DIR}/zentrix-update-station.polkit-rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d RENAME 60-zentrix-update-station.rules)

# The access helper behind zentrix-update --grant-access, and the polkit
# action pkexec runs it under. The action names the helper's installed path,
# so it is written at install time, when the prefix is known.
install(TARGETS zentrix-grant-access RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zentrix-update)
install(CODE "
  set(ZENTRIX_HOMEPAGE \"${ZENTRIX_HOMEPAGE}\")
  set(ZENTRIX_APPSTREAM_ID \"${ZENTRIX_APPSTREAM_ID}\")
  set(ZENTRIX_GRANT_HELPER_PATH
      \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/zentrix-update/zentrix-grant-access\")
  configure_file(\"${ZENTRIX_PACKAGING_DIR}/zentrix-update.policy.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/polkit-1/actions/${ZENTRIX_APPSTREAM_ID}.policy\"
    @ONLY)")
add_dependencies(zentrix_installed zentrix-grant-access)

# The Debian packages: cpack -G DEB in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentrix-update)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zentrix OS Update developers")
set(CPACK_PACKAGE_CONTACT "${ZENTRIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZENTRIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZENTRIX_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE zentrix-update)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZENTRIX_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Dependencies worked out by dpkg-shlibdeps from the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL updater sim)
set(CPACK_COMPONENTS_GROUPING IGNORE)

set(CPACK_DEBIAN_UPDATER_PACKAGE_NAME zentrix-update)
set(CPACK_DEBIAN_UPDATER_PACKAGE_SUGGESTS zentrix-calc-sim)
set(CPACK_DEBIAN_UPDATER_PACKAGE_CONTROL_EXTRA ${ZENTRIX_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_UPDATER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_UPDATER_DESCRIPTION
    "replace the operating system of a Zentrix graphing calculator\n"
    "Zentrix OS Update writes a new operating system into a Zentrix graphing\n"
    "calculator connected by USB or a serial cable. It asks for the calculator,\n"
    "warns twice that the calculator's Main Memory will be erased, checks the\n"
    "calculator's model and OS version against the OS image, loads an updater\n"
    "stub into the calculator's RAM, writes the OS image into its flash memory\n"
    "and reports the result. After a successful update it offers to update the\n"
    "next calculator.\n"
    ".\n"
    "It runs as a window on a desktop and in console mode in a terminal.")
set(CPACK_DEBIAN_SIM_PACKAGE_NAME zentrix-calc-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_ENHANCES zentrix-update)
set(CPACK_COMPONENT_SIM_DESCRIPTION
    "simulated Zentrix graphing calculator for trying Zentrix OS Update\n"
    "zentrix-calc-sim plays the part of a Zentrix graphing calculator waiting\n"
    "for a new operating system on a pseudo-terminal, so that zentrix-update\n"
    "can be tried, demonstrated and tested without a calculator. It checks\n"
    "every packet it receives, keeps the images it was sent and compares them\n"
    "with their files, and can inject faults: hang-ups, silence, damaged\n"
    "packets. It also writes demo images.")
foreach(component UPDATER SIM)
  string(REPLACE ";" "" CPACK_COMPONENT_${component}_DESCRIPTION "${CPACK_COMPONENT_${component}_DESCRIPTION}")
endforeach()
# Reproducible packages: the archives' times from the last commit (the
# release date outside a git checkout).
execute_process(COMMAND date -u -d "${ZENTRIX_RELEASE_DATE}" +%s
                OUTPUT_VARIABLE ZENTRIX_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${ZENTRIX_PACKAGING_DIR}/CPackProject.cmake.in ${ZENTRIX_PACKAGING_OUT}/CPackProject.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${ZENTRIX_PACKAGING_OUT}/CPackProject.cmake)
include(CPack)
