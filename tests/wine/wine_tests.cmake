# SPDX-License-Identifier: MIT
# End to end under Wine with the x64 DLL and the test driver, built by the
# x64 preset. CTest fixtures order the steps and always run the cleanup.
set(TESMARON_X64_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/x64 CACHE PATH "The x64 preset's build tree")
set(_wine ${CMAKE_CURRENT_LIST_DIR}/wine_e2e.sh)
set(_prefix ${CMAKE_BINARY_DIR}/wineprefix)
add_test(NAME wine.setup COMMAND ${_wine} setup ${_prefix} ${TESMARON_DIST_DIR}/x64/tesmaron.dll
         ${TESMARON_X64_BUILD_DIR}/tests/wine/e2e.exe ${TESMARON_X64_BUILD_DIR}/tests/wine/zolhlth.sys
         ${CMAKE_CURRENT_LIST_DIR}/../real_boards/real-boards.txt)
add_test(NAME wine.driver-absent COMMAND ${_wine} run ${_prefix} driver-absent version-resource)
add_test(NAME wine.driver-start COMMAND ${_wine} start ${_prefix})
add_test(NAME wine.driver-stop COMMAND ${_wine} stop ${_prefix})
add_test(NAME wine.teardown COMMAND ${_wine} teardown ${_prefix})
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP WinePrefix COST 15)
set_tests_properties(wine.teardown PROPERTIES FIXTURES_CLEANUP WinePrefix)
set_tests_properties(wine.driver-absent PROPERTIES FIXTURES_REQUIRED WinePrefix)
set_tests_properties(wine.driver-start PROPERTIES FIXTURES_SETUP WineDriver FIXTURES_REQUIRED WinePrefix
                     DEPENDS wine.driver-absent)
set_tests_properties(wine.driver-stop PROPERTIES FIXTURES_CLEANUP WineDriver FIXTURES_REQUIRED WinePrefix)
set(_wine_tests wine.setup wine.driver-absent wine.driver-start wine.driver-stop wine.teardown)
foreach(scenario probe-refused probe-fails fetch-refused fetch-fails fetch-answers-nothing
                 two-ports thirty-one-ports lengths-differ length-below-header real-boards)
  add_test(NAME wine.${scenario} COMMAND ${_wine} run ${_prefix} ${scenario})
  set_tests_properties(wine.${scenario} PROPERTIES FIXTURES_REQUIRED "WinePrefix;WineDriver")
  list(APPEND _wine_tests wine.${scenario})
endforeach()
# One prefix, one driver: never two of these at once.
set_tests_properties(${_wine_tests} PROPERTIES RESOURCE_LOCK wine TIMEOUT 120)

# tesmaron-ports from the x64 build on the sample board: its whole
# transcript as expected; and with no driver, the reason it gives.
add_test(NAME wine.tesmaron-ports
         COMMAND bash -c "set -o pipefail; \"$0\" demo \"$1\" \"$2\" | diff -u \"$3\" -"
                 ${_wine} ${_prefix} ${TESMARON_X64_BUILD_DIR}/tools/tesmaron-ports.exe
                 ${CMAKE_CURRENT_LIST_DIR}/demo_expected.txt)
add_test(NAME wine.tesmaron-ports-driver-absent
         COMMAND ${_wine} exec ${_prefix} ${TESMARON_X64_BUILD_DIR}/tools/tesmaron-ports.exe)
# Without the driver the tool reads the firmware's SMBIOS table itself; Wine
# makes one of its own, with no port list, so the reason names both.
set_tests_properties(wine.tesmaron-ports-driver-absent PROPERTIES FIXTURES_REQUIRED WinePrefix
  PASS_REGULAR_EXPRESSION "no embedded network ports found: the health device [\\\\.]+ZolHlth cannot be opened \\(error 2[^)]*\\), and the firmware's SMBIOS table holds no list of embedded network ports \\(no type-209 structure, no type-41 Ethernet entry\\)")
# Its help names what Windows reads and needs, nothing of Linux's.
add_test(NAME wine.tesmaron-ports-help
         COMMAND ${_wine} exec ${_prefix} ${TESMARON_X64_BUILD_DIR}/tools/tesmaron-ports.exe --help)
set_tests_properties(wine.tesmaron-ports-help PROPERTIES FIXTURES_REQUIRED WinePrefix RESOURCE_LOCK wine TIMEOUT 120
  PASS_REGULAR_EXPRESSION "On Windows the port list comes from the health driver's device [\\.]+ZolHlth,\nwhich may need an administrator"
  FAIL_REGULAR_EXPRESSION "root|On Linux|SIGPIPE")
# A dump read on Windows as on Linux; the NUL device written into, not
# replaced; its metrics written atomically with MoveFileEx; a port labelled
# by the type-41 entry at its function.
add_test(NAME wine.tesmaron-ports-from-dump
         COMMAND bash -c "set -e; \"$0\" \"$1\" dump3 \"$2/drive_c/tesmaron\" board-084
                          \"$3\" exec \"$2\" \"$4\" --from-dump='C:\\tesmaron\\board-084.dump3' --pci 03:00.1
                          \"$3\" exec \"$2\" \"$4\" --from-dump='C:\\tesmaron\\board-084.dump3' --output NUL
                          \"$3\" exec \"$2\" \"$4\" --from-dump='C:\\tesmaron\\board-084.dump3' --prometheus --output 'C:\\tesmaron\\tesmaron.prom'
                          cat \"$2/drive_c/tesmaron/tesmaron.prom\"; ls -A \"$2/drive_c/tesmaron\" | grep -c '^[.]' || true
                          \"$0\" \"$5\" machine-dump3 \"$2/drive_c/tesmaron\" server-013
                          \"$3\" exec \"$2\" \"$4\" --from-dump='C:\\tesmaron\\server-013.dump3' --port 2"
                 $<TARGET_FILE:firmware-fixture> ${CMAKE_CURRENT_LIST_DIR}/../real_boards/real-boards.txt ${_prefix}
                 ${_wine} ${TESMARON_X64_BUILD_DIR}/tools/tesmaron-ports.exe
                 ${CMAKE_CURRENT_LIST_DIR}/../real_boards/onboard-devices.txt)
set_tests_properties(wine.tesmaron-ports-from-dump PROPERTIES FIXTURES_REQUIRED WinePrefix RESOURCE_LOCK wine
  TIMEOUT 120 PASS_REGULAR_EXPRESSION
  "^4  03:00.1  -  02:00:5e:54:03:01  -\n# HELP tesmaron_read_success [^\n]*\n# TYPE tesmaron_read_success gauge\ntesmaron_read_success 1\n# HELP tesmaron_port_info [^\n]*\n# TYPE tesmaron_port_info gauge\ntesmaron_port_info{port=\"1\",pci=\"0000:04:00.0\",label=\"\",source=\"209\",device=\"\"} 1\n.*tesmaron_ports 4\n0\n2  03:00.1  -  02:00:5e:29:02:00  -  NIC Port 2\n$")
# The table Windows gives (Wine's own) saved as a dump: dmidecode decodes it,
# and the Linux tool lists from it what the Windows tool lists live (no
# port list there: the same exit status, the same empty listing).
add_test(NAME wine.tesmaron-ports-save-dump
         COMMAND bash -c "\"$0\" exec \"$1\" \"$2\" --save-dump 'C:\\tesmaron\\wine.bin' &&
                          dmidecode --from-dump \"$1/drive_c/tesmaron/wine.bin\" | grep -m1 'SMBIOS .* present' &&
                          live=$(\"$0\" exec \"$1\" \"$2\" -j); echo live $? $(sed -n 1p <<<\"$live\");
                          dump=$(\"$3\" --from-dump \"$1/drive_c/tesmaron/wine.bin\" -j 2>/dev/null); echo dump $? \"$dump\""
                 ${_wine} ${_prefix} ${TESMARON_X64_BUILD_DIR}/tools/tesmaron-ports.exe $<TARGET_FILE:tesmaron-ports>)
set_tests_properties(wine.tesmaron-ports-save-dump PROPERTIES FIXTURES_REQUIRED WinePrefix RESOURCE_LOCK wine
  TIMEOUT 120 PASS_REGULAR_EXPRESSION "SMBIOS 2.4 present.\nlive 1 \\[\\]\ndump 1 \\[\\]\n$")
set_tests_properties(wine.driver-start PROPERTIES DEPENDS
  "wine.driver-absent;wine.tesmaron-ports-driver-absent;wine.tesmaron-ports-help;wine.tesmaron-ports-from-dump;wine.tesmaron-ports-save-dump")

# The example, built against the unpacked win64 package (package.*win64*),
# on the sample board.
add_test(NAME wine.example
         COMMAND bash -c "set -o pipefail; \"$0\" sample \"$1\" \"$2\" | diff -u \"$3\" -"
                 ${_wine} ${_prefix} ${CMAKE_CURRENT_BINARY_DIR}/packages/list-ports.exe
                 ${CMAKE_CURRENT_LIST_DIR}/example_expected.txt)
set_tests_properties(wine.example PROPERTIES DEPENDS package.win64)
set_tests_properties(wine.tesmaron-ports wine.example PROPERTIES
  FIXTURES_REQUIRED "WinePrefix;WineDriver" RESOURCE_LOCK wine TIMEOUT 120)
set_tests_properties(wine.tesmaron-ports-driver-absent PROPERTIES RESOURCE_LOCK wine TIMEOUT 120)

# The MSVC-built x64 program (msvc.x64) on the sample board.
add_test(NAME wine.msvc-consumer
         COMMAND bash -c "set -o pipefail; \"$0\" sample \"$1\" \"$2\" | diff -u \"$3\" -"
                 ${_wine} ${_prefix} ${CMAKE_CURRENT_BINARY_DIR}/msvc/x64/consumer-c.exe
                 ${CMAKE_CURRENT_LIST_DIR}/../msvc/sample_board_expected.txt)
set_tests_properties(wine.msvc-consumer PROPERTIES FIXTURES_REQUIRED "WinePrefix;WineDriver" RESOURCE_LOCK wine
                     TIMEOUT 120 DEPENDS msvc.x64)
