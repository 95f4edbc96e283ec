# Debug symbols apart from the Linux binaries, as distributions ship them:
# each binary is built with them, then split after the link into the
# stripped binary (what dist/ and the packages hold) and its .debug file,
# which is installed where debuggers look for it by build ID,
# /usr/lib/debug/.build-id/xx/rest.debug, in a component of its own (the
# -dbgsym and -debuginfo packages).
function(tesmaron_split_debug_symbols target component)
  get_target_property(_type ${target} TYPE)
  set(_strip all)
  if(_type STREQUAL SHARED_LIBRARY)
    set(_strip unneeded)  # a library keeps the symbols other objects link against
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJCOPY=${CMAKE_OBJCOPY} -DREADELF=${CMAKE_READELF} -DSTRIP=${_strip}
            -DBINARY=$<TARGET_FILE:${target}> -P ${PROJECT_SOURCE_DIR}/cmake/split_debug_symbols.cmake VERBATIM)
  install(CODE "file(READ \"$<TARGET_FILE:${target}>.build-id\" _id)
    get_filename_component(_folder \"\${_id}\" DIRECTORY)
    get_filename_component(_name \"\${_id}\" NAME)
    file(INSTALL \"$<TARGET_FILE:${target}>.debug\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/debug/.build-id/\${_folder}\"
         RENAME \"\${_name}.debug\" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)"
    COMPONENT ${component})
endfunction()
