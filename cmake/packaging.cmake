# Release packages, made by `cpack` in a build tree: a zip per Windows
# architecture; on Linux three packages split as distributions ship a
# library (runtime, development, tools), as Debian's (linux preset) or as
# RPMs (rpm preset). The version is the header's, cut to three numbers.
set(CPACK_PACKAGE_NAME tesmaron)
set(CPACK_PACKAGE_VENDOR "tesmaron developers")
# Debian's Maintainer field and RPM's Packager need an address; a release
# build sets its own.
set(TESMARON_MAINTAINER "tesmaron developers <developers@tesmaron.org>" CACHE STRING
    "Maintainer of the Linux packages, as 'name <address>'")
set(CPACK_PACKAGE_CONTACT ${TESMARON_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(_about
  "tesmaron reads the system firmware's list of the board's embedded network
ports (SMBIOS structure type 209) once, when it is loaded, and answers two
questions over it: which PCI function (bus, device, function) a port number
names, and which port number a PCI function has.")
set(CPACK_PACKAGE_DESCRIPTION "${_about}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  # One zip holds every component, as before the split.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map embedded network ports between port numbers and PCI addresses")
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

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development tools)
# Each description's first line is the package's synopsis.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "map embedded network ports between port numbers and PCI addresses
${_about}
.
This package holds the shared library.")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "map embedded network ports: development files
${_about}
.
This package holds the header, and the CMake and pkg-config files to build
against the library.")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "which network interface is which embedded port
${_about}
.
This package holds tesmaron-ports, which lists the ports with their PCI
addresses, interface names and MAC addresses, as text, JSON or Prometheus
metrics; a systemd timer that writes the metrics for the node exporter's
textfile collector; and a udev rule that gives each network interface on an
embedded port its number, TESMARON_PORT, and on request (tesmaron.names=1)
the name eno<number> from the first boot, in the initramfs too.")
set(_component_of_libtesmaron1 runtime)
set(_component_of_libtesmaron-dev development)
set(_component_of_tesmaron-tools tools)

set(_component_of_tesmaron-devel development)
set(_component_of_tesmaron tools)
set(_debian_changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT changelog.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG > changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
add_custom_target(tesmaron_changelog ALL DEPENDS changelog.gz)

if(TESMARON_PACKAGE_FAMILY STREQUAL RPM)
  # Split as Fedora splits pciutils: tesmaron-libs, tesmaron (the tool),
  # tesmaron-devel. Requires and Provides come from rpmbuild's scan of the
  # objects (libtesmaron.so.1()(64bit)).
  set(CPACK_GENERATOR RPM)
  set(CPACK_RPM_COMPONENT_INSTALL ON)
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_MAIN_COMPONENT tools)
  set(CPACK_RPM_RUNTIME_PACKAGE_NAME tesmaron-libs)
  set(CPACK_RPM_DEVELOPMENT_PACKAGE_NAME tesmaron-devel)
  set(CPACK_RPM_PACKAGE_RELEASE 1)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_URL https://tesmaron.org/)
  set(CPACK_RPM_RUNTIME_PACKAGE_SUMMARY "Maps embedded network ports between port numbers and PCI addresses")
  set(CPACK_RPM_DEVELOPMENT_PACKAGE_SUMMARY "Development files for tesmaron")
  set(CPACK_RPM_TOOLS_PACKAGE_SUMMARY "Tells which network interface is which embedded port")
  foreach(_component runtime development tools)
    string(TOUPPER ${_component} _upper)
    # The description without Debian's synopsis line and paragraph dots.
    set(_description "${CPACK_COMPONENT_${_upper}_DESCRIPTION}")
    string(FIND "${_description}" "\n" _end_of_synopsis)
    math(EXPR _end_of_synopsis "${_end_of_synopsis} + 1")
    string(SUBSTRING "${_description}" ${_end_of_synopsis} -1 _description)
    string(REPLACE "\n.\n" "\n\n" CPACK_RPM_${_upper}_PACKAGE_DESCRIPTION "${_description}")
  endforeach()
  set(CPACK_RPM_RUNTIME_PACKAGE_GROUP "System/Libraries")
  set(CPACK_RPM_DEVELOPMENT_PACKAGE_GROUP "Development/Libraries/C and C++")
  set(CPACK_RPM_TOOLS_PACKAGE_GROUP "Hardware/Other")
  set(_same_libs "tesmaron-libs = ${CPACK_PACKAGE_VERSION}-${CPACK_RPM_PACKAGE_RELEASE}")
  set(CPACK_RPM_TOOLS_PACKAGE_REQUIRES ${_same_libs})
  set(CPACK_RPM_DEVELOPMENT_PACKAGE_REQUIRES ${_same_libs})
  # The loader's cache is refreshed after the library comes and goes.
  file(CONFIGURE OUTPUT rpm/ldconfig CONTENT "/sbin/ldconfig\n")
  set(CPACK_RPM_RUNTIME_POST_INSTALL_SCRIPT_FILE ${PROJECT_BINARY_DIR}/rpm/ldconfig)
  set(CPACK_RPM_RUNTIME_POST_UNINSTALL_SCRIPT_FILE ${PROJECT_BINARY_DIR}/rpm/ldconfig)
  # The changelog in RPM's own form, from the one in the repository.
  file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG _changelog)
  string(REGEX MATCH "\n\n(.*)\n\n -- [^\n]*  ([A-Z][a-z]+), ([0-9]+) ([A-Z][a-z]+) ([0-9]+) " _ "${_changelog}")
  set(_day "${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} ${CMAKE_MATCH_5}")
  string(REGEX REPLACE "(^|\n)  \\* " "\\1- " _entries "${CMAKE_MATCH_1}")
  string(REPLACE "\n    " "\n  " _entries "${_entries}")
  file(CONFIGURE OUTPUT rpm/changelog
    CONTENT "* ${_day} ${TESMARON_MAINTAINER} - ${CPACK_PACKAGE_VERSION}-${CPACK_RPM_PACKAGE_RELEASE}\n${_entries}\n")
  set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm/changelog)
  # The packager is named; no build-id links, which would be owned by
  # every package that ships an object; no debug-info package.
  set(CPACK_RPM_SPEC_MORE_DEFINE
    "%define packager ${TESMARON_MAINTAINER}\n%define _build_id_links none\n%define debug_package %{nil}")
  # Folders the system owns stay out of the packages' lists.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/lib64/cmake /usr/lib64/pkgconfig /usr/lib/systemd /usr/lib/systemd/system
    /usr/share/man /usr/share/man/man1 /usr/share/licenses)
  # The licence beside the tool and the development files; a library
  # package holds nothing but the library under openSUSE's policy.
  foreach(_package tesmaron-devel tesmaron)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/${_package} COMPONENT
            ${_component_of_${_package}})
  endforeach()
  set(_tools_docdir ${CMAKE_INSTALL_DATADIR}/doc/tesmaron)
  set(_development_docdir ${CMAKE_INSTALL_DATADIR}/doc/tesmaron-devel)
else()
  # Debian's split: libtesmaron1, libtesmaron-dev, tesmaron-tools.
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SOURCE tesmaron)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtesmaron1)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtesmaron-dev)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tesmaron-tools)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
  # Dependencies from what the built objects link, not typed in; the shlibs
  # file tells other packages which package has libtesmaron.so.1. Before it
  # is installed, dpkg-shlibdeps finds the tool's copy in the build tree but
  # knows no package of it, so the tools name theirs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(_same_runtime "libtesmaron1 (= ${CPACK_PACKAGE_VERSION})")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ${_same_runtime})
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS ${_same_runtime})
  # The loader's cache is refreshed through dpkg's trigger, not a script.
  file(CONFIGURE OUTPUT debian/triggers CONTENT "activate-noawait ldconfig\n")
  # The two functions, and the version that brought each: packages built
  # against the library depend on the least version their calls need.
  file(CONFIGURE OUTPUT debian/symbols CONTENT "libtesmaron.so.1 libtesmaron1 #MINVER#
* Build-Depends-Package: libtesmaron-dev
 LookupByPCIAddress@Base 1.0.0
 LookupByPortNumber@Base 1.0.0
")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers
      ${PROJECT_BINARY_DIR}/debian/symbols)
  # The initramfs is built again with the udev rule, its program and the
  # library whenever the tools come, change or go.
  file(CONFIGURE OUTPUT debian/tools/triggers CONTENT "activate-noawait update-initramfs\n")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/tools/triggers)
  # CPack adds maintainer scripts that call ldconfig beside the trigger for
  # a library under /usr/lib; Debian wants the trigger alone.
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_without_ldconfig_scripts.cmake)
  # Debian's documentation layout: in each package, the licence as
  # copyright and the changelog compressed.
  foreach(_package libtesmaron1 libtesmaron-dev tesmaron-tools)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package} RENAME copyright
            COMPONENT ${_component_of_${_package}})
    install(FILES ${_debian_changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package}
            COMPONENT ${_component_of_${_package}})
  endforeach()
  set(_tools_docdir ${CMAKE_INSTALL_DATADIR}/doc/tesmaron-tools)
  set(_development_docdir ${CMAKE_INSTALL_DATADIR}/doc/libtesmaron-dev)
endif()
install(FILES README.md DESTINATION ${_development_docdir} COMPONENT development)
install(FILES README.md DESTINATION ${_tools_docdir} COMPONENT tools)
install(FILES docs/tesmaron-ports.rules.yml DESTINATION ${_tools_docdir}/examples COMPONENT tools)
include(CPack)
