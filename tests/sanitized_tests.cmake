# The unit tests and the fuzz corpus, built by the sanitize preset (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer), run from this test suite
# so that one CTest summary covers everything.
set(TESMARON_SANITIZE_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/sanitize CACHE PATH "The sanitize preset's build tree")
foreach(suite core_tests platform_tests)
  add_test(NAME sanitize.${suite} COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/${suite})
endforeach()
# -runs=0: execute every input of the corpus and the regressions once, no fuzzing.
add_test(NAME fuzz.corpus
         COMMAND ${TESMARON_SANITIZE_BUILD_DIR}/tests/fuzz/fuzz_attach -runs=0
                 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/regressions)
