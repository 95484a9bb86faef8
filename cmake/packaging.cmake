# The Debian packages, made by a plain `cpack` in the build folder, one per
# install component as Debian lays a library out:
#   vandrel          the programs and their data (components Unspecified, debian)
#   libvandrel1      libvandrel.so.1 (library)
#   libvandrel-dev   the header, libvandrel.so, pkg-config and CMake files (development)
#   python3-vandrel  the Python package (python)
# Each carries the changelog and the copyright file, which only the
# packages carry. The project packages itself, so the packages are native:
# their version is the project's, with no Debian revision, and the
# changelog is changelog.gz.
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
# Each package's description is its summary line and then its text. CPack
# would put a CPACK_PACKAGE_DESCRIPTION_SUMMARY, by default the project's
# description, before every one of them.
set(vandrel_summary "configuration utility for the Vandrel USB pulse generator")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
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
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "fonts-liberation")

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
# Debian's machine-readable copyright file says that no licence has been
# granted yet; a chosen licence replaces its License paragraph.
set(vandrel_debian_packages "debian=vandrel" "library=libvandrel1" "development=libvandrel-dev"
  "python=python3-vandrel")
foreach(entry ${vandrel_debian_packages})
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 component)
  list(GET entry 1 package)
  install(FILES ${changelog}.gz ${PROJECT_SOURCE_DIR}/data/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified debian library development python)
set(CPACK_COMPONENT_UNSPECIFIED_GROUP programs)
set(CPACK_COMPONENT_DEBIAN_GROUP programs)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME vandrel)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libvandrel1)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvandrel-dev)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vandrel)

set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "${vandrel_summary}\n${CPACK_PACKAGE_DESCRIPTION}")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "C library for the Vandrel USB pulse generator
libvandrel lists the Vandrel pulse generators attached over USB, opens one
by serial number, reads, sets and restores its amplitude, polarity and
calibration, and tells why a unit does not appear. It applies every check
vandrelctl applies. Its ABI is stable for the life of the SONAME.")
# The library's package says which version of it a program needs, and
# ldconfig runs when it is installed or removed.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs from dpkg's trigger, as policy asks; the library's own
# scripts keep CPack from writing ones that call it.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/libvandrel1/triggers
  ${PROJECT_SOURCE_DIR}/data/debian/libvandrel1/postinst ${PROJECT_SOURCE_DIR}/data/debian/libvandrel1/postrm)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvandrel1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "C library for the Vandrel USB pulse generator - development files
The header vandrel/vandrel.h, the link libvandrel.so, the pkg-config file
vandrel.pc and the CMake package for find_package(vandrel), for building
programs that use libvandrel.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libvandrel1 (>= ${PROJECT_VERSION}), python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/python3-vandrel/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python package for the Vandrel USB pulse generator
import vandrel lists the Vandrel pulse generators attached over USB, opens
one by serial number, and reads, sets and restores its settings from a
script, through libvandrel. python3 -m vandrel lists the units.")

include(CPack)
