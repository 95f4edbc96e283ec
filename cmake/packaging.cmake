# Release packages, made by `cpack` in a build tree: a zip per Windows
# architecture, a Debian package of the Linux build. The version is the
# header's, cut to three numbers.
set(CPACK_PACKAGE_NAME tesmaron)
set(CPACK_PACKAGE_VENDOR "tesmaron developers")
# Debian's Maintainer field needs an address; a release build sets its own.
set(TESMARON_MAINTAINER "tesmaron developers <developers@tesmaron.org>" CACHE STRING
    "Maintainer of the Debian package, as 'name <address>'")
set(CPACK_PACKAGE_CONTACT ${TESMARON_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "map embedded network ports between port numbers and PCI addresses")
set(CPACK_PACKAGE_DESCRIPTION
  "tesmaron reads the system firmware's list of the board's embedded network
ports (SMBIOS structure type 209) once, when it is loaded, and answers two
questions over it: which PCI function (bus, device, function) a port number
names, and which port number a PCI function has. The package holds the
shared library, its header, CMake and pkg-config files, and tesmaron-ports,
which tells which network interface is which port.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(TESMARON_ARCH STREQUAL x86)
    set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  install(FILES README.md LICENSE DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies from what the built objects link, not typed in.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Debian's documentation layout: the licence as copyright, the changelog
  # compressed without a name or time stamp, so that packages reproduce.
  add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG > changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
  add_custom_target(tesmaron_changelog ALL DEPENDS changelog.gz)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(FILES README.md ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The loader's cache is refreshed through dpkg's trigger, not a script.
  file(CONFIGURE OUTPUT debian/triggers CONTENT "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
endif()
include(CPack)
