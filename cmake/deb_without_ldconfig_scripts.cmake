# Run by CPack after it has made the Debian packages: takes out the
# maintainer scripts that only call ldconfig, which CPack writes for any
# library under /usr/lib. The package's dpkg trigger refreshes the loader's
# cache instead, as Debian's policy wants.
foreach(_package IN LISTS CPACK_PACKAGE_FILES)
  set(_tree ${_package}.tree)
  file(REMOVE_RECURSE ${_tree})
  execute_process(COMMAND dpkg-deb -R ${_package} ${_tree} COMMAND_ERROR_IS_FATAL ANY)
  set(_changed FALSE)
  foreach(_script postinst postrm)
    set(_file ${_tree}/DEBIAN/${_script})
    if(EXISTS ${_file})
      file(READ ${_file} _text)
      string(REGEX REPLACE "#![^\n]*\n|set -e\n|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n|\n" ""
             _rest "${_text}")
      if(_rest STREQUAL "")
        file(REMOVE ${_file})
        set(_changed TRUE)
      endif()
    endif()
  endforeach()
  if(_changed)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b ${_tree} ${_package} OUTPUT_QUIET
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE ${_tree})
endforeach()
