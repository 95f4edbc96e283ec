# The Debian packages, made by `cpack` in the linux build tree:
# libtesmaron1, libtesmaron-dev, tesmaron-tools, and the -dbgsym packages of
# the first and the last, as Debian's own tools would make them (dh_strip,
# dh_makeshlibs, dh_installsystemd --no-enable, dh_installinitramfs).
set(CPACK_PACKAGE_NAME tesmaron)
set(CPACK_PACKAGE_VENDOR "tesmaron developers")
set(CPACK_PACKAGE_CONTACT ${TESMARON_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${TESMARON_PACKAGE_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SOURCE tesmaron)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TESMARON_URL})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENTS_ALL runtime development tools runtime_debug tools_debug)

# Package, section and description of each component.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
set(_deb_runtime libtesmaron1 libs RUNTIME)
set(_deb_development libtesmaron-dev libdevel DEVELOPMENT)
set(_deb_tools tesmaron-tools admin TOOLS)
foreach(_component runtime development tools)
  list(GET _deb_${_component} 0 _package)
  list(GET _deb_${_component} 1 _section)
  list(GET _deb_${_component} 2 _about)
  string(TOUPPER ${_component} _upper)
  set(CPACK_DEBIAN_${_upper}_PACKAGE_NAME ${_package})
  set(CPACK_DEBIAN_${_upper}_PACKAGE_SECTION ${_section})
  # The synopsis, the common paragraph, then what this package holds.
  string(REGEX REPLACE "^([^\n]*)\n(.*)$" "\\1\n${TESMARON_ABOUT}\n.\n\\2" CPACK_COMPONENT_${_upper}_DESCRIPTION
         "${TESMARON_ABOUT_${_about}}")
  # Debian's documentation layout: the licence as copyright, the changelog
  # compressed.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package} RENAME copyright COMPONENT ${_component})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package}
          COMPONENT ${_component})
  # The debug symbols, as dh_strip packages them: found by build ID, in a
  # package that depends on exactly this one.
  if(NOT _component STREQUAL development)
    set(CPACK_DEBIAN_${_upper}_DEBUG_PACKAGE_NAME ${_package}-dbgsym)
    set(CPACK_DEBIAN_${_upper}_DEBUG_PACKAGE_SECTION debug)
    set(CPACK_COMPONENT_${_upper}_DEBUG_DESCRIPTION "debug symbols for ${_package}")
    set(CPACK_DEBIAN_${_upper}_DEBUG_PACKAGE_DEPENDS "${_package} (= ${TESMARON_PACKAGE_VERSION})")
    set(CPACK_DEBIAN_${_upper}_DEBUG_PACKAGE_SHLIBDEPS OFF)
    # Its documentation is the package's: a link, as dh_strip makes it.
    file(CREATE_LINK ${_package} ${PROJECT_BINARY_DIR}/debian/${_package}-dbgsym SYMBOLIC)
    install(FILES ${PROJECT_BINARY_DIR}/debian/${_package}-dbgsym DESTINATION ${CMAKE_INSTALL_DATADIR}/doc
            COMPONENT ${_component}_debug)
  endif()
endforeach()
add_custom_command(OUTPUT changelog.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG > changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
add_custom_target(tesmaron_changelog ALL DEPENDS changelog.gz)

# Dependencies from what the built objects link, not typed in. Before the
# library is installed, dpkg-shlibdeps finds the tools' copy in the build
# tree but knows no package of it, so the tools name theirs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(_same_runtime "libtesmaron1 (= ${TESMARON_PACKAGE_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ${_same_runtime})
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS ${_same_runtime})

# What programs built against the library depend on: the first version
# with today's two functions, for each function (symbols) and for the
# library as a whole (shlibs), so that a program is not tied to one upload.
set(_first_version 1.0.0)
file(CONFIGURE OUTPUT debian/runtime/symbols CONTENT "libtesmaron.so.1 libtesmaron1 #MINVER#
* Build-Depends-Package: libtesmaron-dev
 LookupByPCIAddress@Base ${_first_version}
 LookupByPortNumber@Base ${_first_version}
")
file(CONFIGURE OUTPUT debian/runtime/shlibs CONTENT "libtesmaron 1 libtesmaron1 (>= ${_first_version})\n")
# The loader's cache is refreshed through dpkg's trigger, not a script.
file(CONFIGURE OUTPUT debian/runtime/triggers CONTENT "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian/runtime/triggers ${PROJECT_BINARY_DIR}/debian/runtime/symbols
    ${PROJECT_BINARY_DIR}/debian/runtime/shlibs)
# The initramfs is built again with the udev rule, its program and the
# library whenever the tools come, change or go; the units get what
# dh_installsystemd --no-enable gives them.
file(CONFIGURE OUTPUT debian/tools/triggers CONTENT "activate-noawait update-initramfs\n")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/tools/triggers)
foreach(_script postinst prerm postrm)
  configure_file(cmake/debian/tesmaron-tools.${_script} debian/tools/${_script} COPYONLY)
  list(APPEND CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/tools/${_script})
endforeach()

# What CPack cannot say itself is mended in each package after it is made:
# Multi-Arch, the debug packages' fields, no ldconfig scripts.
set(CPACK_TESMARON_MULTI_ARCH_SAME libtesmaron1 libtesmaron-dev libtesmaron1-dbgsym)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_control.cmake)

set(_docdir ${CMAKE_INSTALL_DATADIR}/doc)
install(FILES README.md DESTINATION ${_docdir}/libtesmaron-dev COMPONENT development)
install(FILES README.md DESTINATION ${_docdir}/tesmaron-tools COMPONENT tools)
install(FILES docs/tesmaron-ports.rules.yml DESTINATION ${_docdir}/tesmaron-tools/examples COMPONENT tools)
include(CPack)
