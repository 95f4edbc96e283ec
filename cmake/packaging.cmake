# Release packages: a zip per Windows architecture, made by `cpack`; on
# Linux the packages split as distributions ship a library (the library,
# its development files, the tools, and the debug symbols of the first and
# the last), as Debian's (linux preset, cmake/packaging_deb.cmake) or as
# RPMs (rpm preset, cmake/packaging_rpm.cmake). The version is the
# release's, from the changelog.
set(TESMARON_PACKAGE_VERSION ${PROJECT_VERSION})
# Debian's Maintainer field and RPM's Packager need an address; a release
# build sets its own.
set(TESMARON_MAINTAINER "tesmaron developers <developers@tesmaron.org>" CACHE STRING
    "Maintainer of the Linux packages, as 'name <address>'")
set(TESMARON_URL https://tesmaron.org/)
set(TESMARON_ABOUT
  "tesmaron reads the system firmware's list of the board's embedded network
ports (SMBIOS structure type 209) once, when it is loaded, and answers two
questions over it: which PCI function (bus, device, function) a port number
names, and which port number a PCI function has.")
# What each package holds, after the description above; the first line is
# the package's synopsis.
set(TESMARON_ABOUT_RUNTIME "map embedded network ports between port numbers and PCI addresses
This package holds the shared library.")
set(TESMARON_ABOUT_DEVELOPMENT "map embedded network ports: development files
This package holds the header, and the CMake and pkg-config files to build
against the library.")
set(TESMARON_ABOUT_TOOLS "which network interface is which embedded port
This package holds tesmaron-ports, which lists the ports with their PCI
addresses, interface names and MAC addresses, as text, JSON or Prometheus
metrics; a systemd timer that writes the metrics for the node exporter's
textfile collector; and a udev rule that gives each network interface on an
embedded port its number, TESMARON_PORT, and on request (tesmaron.names=1)
the name eno<number> from the first boot, in the initramfs too.")

if(WIN32)
  # One zip holds every component.
  set(CPACK_PACKAGE_NAME tesmaron)
  set(CPACK_PACKAGE_VENDOR "tesmaron developers")
  set(CPACK_PACKAGE_VERSION ${TESMARON_PACKAGE_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map embedded network ports between port numbers and PCI addresses")
  set(CPACK_PACKAGE_DESCRIPTION "${TESMARON_ABOUT}")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  set(CPACK_GENERATOR ZIP)
  if(TESMARON_ARCH STREQUAL x86)
    set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  install(FILES README.md LICENSE DESTINATION . COMPONENT development)
  include(CPack)
  return()
endif()

# Where the node exporter's textfile collector reads on each family: the
# timer's service writes there, and an admin's drop-in of the same name
# sends it elsewhere.
if(TESMARON_PACKAGE_FAMILY STREQUAL RPM)
  set(TESMARON_TEXTFILE_DIR /var/lib/node_exporter/textfile_collector)
else()
  set(TESMARON_TEXTFILE_DIR /var/lib/prometheus/node-exporter)
endif()
configure_file(tools/systemd/textfile-folder.conf.in systemd/textfile-folder.conf @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/systemd/textfile-folder.conf
        DESTINATION lib/systemd/system/tesmaron-ports-textfile.service.d COMPONENT tools)

if(TESMARON_PACKAGE_FAMILY STREQUAL RPM)
  include(cmake/packaging_rpm.cmake)
else()
  include(cmake/packaging_deb.cmake)
endif()
