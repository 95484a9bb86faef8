# The Debian package of the desktop programs, made by `cpack` in the build
# folder: everything `cmake --install` puts under the prefix /usr, plus the
# changelog and the copyright file, which only the package carries. The
# project packages itself, so the package is native: its version is the
# project's, with no Debian revision, and its changelog is changelog.gz.
include(GNUInstallDirs)

set(VANDREL_PACKAGE_MAINTAINER "Vandrel developers <vandrel@example.org>" CACHE STRING
  "The Maintainer field of the Debian package and the name in its changelog")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANDREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for the Vandrel USB pulse generator")
set(CPACK_PACKAGE_DESCRIPTION
"Vandrel Configuration lists the Vandrel pulse generators attached over USB
by serial number, connects to one and shows its identity, the amplitude list
in calibrated millivolts, the output mode, the calibration adjustment and a
summary of the output levels. Every change is written to the unit at once.
It talks to units through the kernel's hidraw interface; a udev rule gives
the user at the local desktop access to them.
.
vandrelctl lists, reads, sets and restores units from a shell or a script,
with JSON output, and tells why a unit does not appear.
.
vandrel-demo shows the same window over two simulated units.")

# The libraries come from the binaries; the window is laid out for the
# metrics of Liberation Sans, which no library asks for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")

# Policy wants stripped programs and directories that only root may write.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The changelog's date follows SOURCE_DATE_EPOCH when it is set, so a
# rebuild of the same sources can give the same package.
string(TIMESTAMP vandrel_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog)
file(CONFIGURE OUTPUT ${changelog} @ONLY CONTENT
"vandrel (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}, packaged from the project's own build.

 -- ${VANDREL_PACKAGE_MAINTAINER}  ${vandrel_changelog_date}
")
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${VANDREL_GZIP} -n -9 -c ${changelog} > ${changelog}.gz
  DEPENDS ${changelog}
  VERBATIM)
add_custom_target(vandrel_debian_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vandrel
  COMPONENT debian EXCLUDE_FROM_ALL)
# Debian's machine-readable copyright file. It says that no licence has
# been granted yet; a chosen licence replaces its License paragraph.
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vandrel
  COMPONENT debian EXCLUDE_FROM_ALL)

# The ordinary install, then the Debian-only part.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};vandrel;Unspecified;/"
  "${CMAKE_BINARY_DIR};vandrel;debian;/")

include(CPack)
