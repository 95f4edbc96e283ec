# SPDX-License-Identifier: MIT
# The Windows release packages: a zip per architecture, made by `cpack` in
# the x86 and x64 build trees, holding every component. The Linux packages
# are the distributions' own, built from the source tarball: debian/ for
# dpkg-buildpackage, the RPM recipe at the top of the tree for rpmbuild -ta.
if(NOT WIN32)
  return()
endif()
set(CPACK_PACKAGE_NAME tesmaron)
set(CPACK_PACKAGE_VENDOR "tesmaron developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map embedded network ports between port numbers and PCI addresses")
set(CPACK_PACKAGE_DESCRIPTION
  "tesmaron reads the system firmware's list of the board's embedded network
ports (SMBIOS structure type 209) once, when it is loaded, and answers two
questions over it: which PCI function (bus, device, function) a port number
names, and which port number a PCI function has.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR ZIP)
if(TESMARON_ARCH STREQUAL x86)
  set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win32)
else()
  set(CPACK_PACKAGE_FILE_NAME tesmaron-${CPACK_PACKAGE_VERSION}-win64)
endif()
# Unpacked, one folder named as the zip, holding the tree the MSI installs.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
install(FILES README.md LICENSE DESTINATION . COMPONENT development)
include(CPack)
