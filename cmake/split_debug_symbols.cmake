# Run after each link of a Linux binary: moves its debug symbols into
# BINARY.debug and strips BINARY as Debian's dh_strip does (a library of its
# unneeded symbols, a program of all; the compiler's ident too), keeping the
# build ID by which a debugger finds the symbols again; writes that ID into
# BINARY.build-id for the install step.
#   cmake -DOBJCOPY=... -DREADELF=... -DBINARY=... -DSTRIP=unneeded|all -P split_debug_symbols.cmake
execute_process(COMMAND ${OBJCOPY} --only-keep-debug --compress-debug-sections ${BINARY} ${BINARY}.debug
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-${STRIP} --remove-section=.comment --remove-section=.note ${BINARY}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${READELF} --notes ${BINARY} OUTPUT_VARIABLE _notes COMMAND_ERROR_IS_FATAL ANY)
if(NOT _notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "${BINARY} carries no build ID: its debug symbols could not be found by one")
endif()
file(WRITE ${BINARY}.build-id "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
