# The RPM packages, made by rpmbuild from cmake/tesmaron.rpmspec.in in the rpm
# build tree (`cmake --build build/rpm --target rpm-packages`): tesmaron,
# tesmaron-libs and tesmaron-devel, split as Fedora splits pciutils, and
# their -debuginfo packages; all of the one source package tesmaron.
# Requires and Provides come from rpmbuild's scan of the objects
# (libtesmaron.so.1()(64bit), pkgconfig(tesmaron)).
set(TESMARON_RPM_RELEASE 1)

# Fedora wants the licence in every package that can be installed alone.
foreach(_package tesmaron-libs tesmaron-devel tesmaron)
  if(_package STREQUAL tesmaron-libs)
    set(_component runtime)
  elseif(_package STREQUAL tesmaron-devel)
    set(_component development)
  else()
    set(_component tools)
  endif()
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/${_package} COMPONENT ${_component})
endforeach()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tesmaron-devel COMPONENT development)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tesmaron COMPONENT tools)
install(FILES docs/tesmaron-ports.rules.yml DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tesmaron/examples COMPONENT tools)

# The changelog in RPM's form, every entry of the one in the repository:
#   tesmaron (1.1.0) unstable; ...            * Tue Dec 08 2026 NAME <ADDRESS> - 1.1.0-1
#     * An item,                       ->     - An item,
#       continued.                              continued.
#    -- NAME <ADDRESS>  Tue, 08 Dec 2026 ...
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG _lines)
set(TESMARON_RPM_CHANGELOG "")
set(_items "")
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^tesmaron \\(([^)]+)\\)")
    set(_version ${CMAKE_MATCH_1})
    set(_items "")
  elseif(_line MATCHES "^  \\* (.*)$")
    string(APPEND _items "- ${CMAKE_MATCH_1}\n")
  elseif(_line MATCHES "^    (.*)$")
    string(APPEND _items "  ${CMAKE_MATCH_1}\n")
  elseif(_line MATCHES "^ -- (.*)  ([A-Z][a-z]+), ([0-9]+) ([A-Z][a-z]+) ([0-9]+) ")
    string(APPEND TESMARON_RPM_CHANGELOG
      "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} ${CMAKE_MATCH_5} ${CMAKE_MATCH_1} - ${_version}-${TESMARON_RPM_RELEASE}\n"
      "${_items}\n")
  endif()
endforeach()
string(STRIP "${TESMARON_RPM_CHANGELOG}" TESMARON_RPM_CHANGELOG)

foreach(_about RUNTIME DEVELOPMENT TOOLS)
  # Without Debian's synopsis line.
  string(REGEX REPLACE "^[^\n]*\n" "" TESMARON_ABOUT_${_about} "${TESMARON_ABOUT_${_about}}")
endforeach()
configure_file(cmake/tesmaron.rpmspec.in tesmaron.rpmspec @ONLY)

find_program(TESMARON_RPMBUILD rpmbuild REQUIRED)
set(_rpm_top ${PROJECT_BINARY_DIR}/rpmbuild)
add_custom_target(rpm-packages
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_rpm_top} ${PROJECT_BINARY_DIR}/packages
  COMMAND sh -c "\"$0\" -bb --define \"_topdir $1\" --target x86_64 \"$2\" >rpmbuild.log 2>&1 || { cat rpmbuild.log; exit 1; }"
          ${TESMARON_RPMBUILD} ${_rpm_top} ${PROJECT_BINARY_DIR}/tesmaron.rpmspec
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packages
  COMMAND sh -c "mv ${_rpm_top}/RPMS/*/*.rpm ${PROJECT_BINARY_DIR}/packages/"
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  COMMENT "Making the RPM packages with rpmbuild"
  VERBATIM)
add_dependencies(rpm-packages tesmaron tesmaron-ports tesmaron_port_id tesmaron-ports-manual)
