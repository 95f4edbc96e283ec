# Run by CPack after it has made the Debian packages: mends in each what
# CPack cannot write, as Debian's own tools would have it.
# - No maintainer scripts that only call ldconfig, which CPack writes for a
#   library under /usr/lib: the package's dpkg trigger refreshes the
#   loader's cache instead, as Debian's policy wants.
# - Multi-Arch: same on the packages in CPACK_TESMARON_MULTI_ARCH_SAME, which
#   several architectures install side by side.
# - A -dbgsym package says it is one (Auto-Built-Package) and which build IDs
#   it holds symbols for (Build-Ids), as dh_strip writes them.
foreach(_package IN LISTS CPACK_PACKAGE_FILES)
  set(_tree ${_package}.tree)
  file(REMOVE_RECURSE ${_tree})
  execute_process(COMMAND dpkg-deb -R ${_package} ${_tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(_script postinst postrm)
    set(_file ${_tree}/DEBIAN/${_script})
    if(EXISTS ${_file})
      file(READ ${_file} _text)
      string(REGEX REPLACE "#![^\n]*\n|set -e\n|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n|\n" ""
             _rest "${_text}")
      if(_rest STREQUAL "")
        file(REMOVE ${_file})
      endif()
    endif()
  endforeach()

  file(READ ${_tree}/DEBIAN/control _control)
  string(REGEX MATCH "(^|\n)Package: ([^\n]*)" _ "${_control}")
  set(_name ${CMAKE_MATCH_2})
  set(_fields "")
  if(_name IN_LIST CPACK_TESMARON_MULTI_ARCH_SAME)
    string(APPEND _fields "Multi-Arch: same\n")
  endif()
  if(_name MATCHES "-dbgsym$")
    file(GLOB_RECURSE _debug_files RELATIVE ${_tree}/usr/lib/debug/.build-id ${_tree}/usr/lib/debug/.build-id/*.debug)
    list(TRANSFORM _debug_files REPLACE "/|\\.debug$" "")
    list(SORT _debug_files)
    list(JOIN _debug_files " " _ids)
    string(APPEND _fields "Auto-Built-Package: debug-symbols\nBuild-Ids: ${_ids}\n")
  endif()
  string(STRIP "${_control}" _control)
  file(WRITE ${_tree}/DEBIAN/control "${_control}\n${_fields}")

  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b ${_tree} ${_package} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${_tree})
endforeach()
