# SPDX-License-Identifier: MIT
# The unit tests and the fuzz corpus, built by the sanitize preset (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer), run from this test suite
# so that one CTest summary covers everything.
set(TESMARON_SANITIZE_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/sanitize CACHE PATH "The sanitize preset's build tree")
foreach(suite core_tests platform_tests)
  add_test(NAME sanitize.${suite} COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/${suite})
endforeach()
# -runs=0: execute every input of the corpus, the regressions and the real
# boards (written from real-boards.txt) once, no fuzzing: the boards as
# driver replies for the attach sequence, and as whole tables in dumps (both
# entry points) and bare for the table format.
set(_board_corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz-boards)
add_test(NAME fuzz.board-corpus COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/linux_firmware.sh corpus
         ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/real-boards.txt ${_board_corpus})
add_test(NAME fuzz.corpus
         COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/fuzz/fuzz_attach -runs=0
                 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/regressions ${_board_corpus})
set_tests_properties(fuzz.board-corpus PROPERTIES FIXTURES_SETUP BoardCorpus)
set_tests_properties(fuzz.corpus PROPERTIES FIXTURES_REQUIRED BoardCorpus)

# The real boards' and the real servers' whole tables, as dumps: for the
# table format, and for tesmaron-ports from dump to its three forms.
set(_table_corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz-tables)
add_test(NAME fuzz.table-corpus
         COMMAND sh -c "for layout in dump3 dump2 bare; do \"$0\" \"$1\" $layout \"$3\" || exit 1; done &&
                        \"$0\" \"$2\" machine-dump3 \"$3\""
                 $<TARGET_FILE:firmware-fixture> ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/real-boards.txt
                 ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/onboard-devices.txt ${_table_corpus})
foreach(target smbios forms)
  add_test(NAME fuzz.${target}-corpus
           COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/fuzz/fuzz_${target} -runs=0
                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/regressions ${_table_corpus})
  set_tests_properties(fuzz.${target}-corpus PROPERTIES FIXTURES_REQUIRED TableCorpus)
endforeach()
set_tests_properties(fuzz.table-corpus PROPERTIES FIXTURES_SETUP TableCorpus)

# The LLDP decoder over its corpus and the regressions.
add_test(NAME fuzz.lldp-corpus
         COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/fuzz/fuzz_lldp -runs=0 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/lldp-corpus
                 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/regressions)
