# SPDX-License-Identifier: MIT
# Checks of the built products, read back: dist/, the release packages, reproducibility.
set(TESMARON_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where 'make' puts the built libraries")
add_executable(image_tests image_test.cpp)
target_compile_definitions(image_tests PRIVATE TESMARON_DIST_DIR="${TESMARON_DIST_DIR}"
                                               TESMARON_BUILD_TOOL="$<TARGET_FILE:tesmaron-ports>")
target_link_libraries(image_tests PRIVATE GTest::gtest_main)
gtest_discover_tests(image_tests)

foreach(arch x86 x64)
  add_test(NAME ReproducibleDll.${arch}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/reproducible.sh ${PROJECT_SOURCE_DIR} ${arch} ${TESMARON_DIST_DIR})
endforeach()

# The release packages checked as their users meet them, one kind at a
# time; the win64 example then runs under Wine (wine/). The Debian upload is
# named by its .changes, which lists the source package too.
set(_version ${PROJECT_VERSION})
set(_packages_win32 tesmaron-${_version}-win32.zip)
set(_packages_win64 tesmaron-${_version}-win64.zip)
set(_packages_deb tesmaron_${_version}-1_amd64.changes)
foreach(_package libtesmaron1 libtesmaron-dev tesmaron-tools libtesmaron1-dbgsym tesmaron-tools-dbgsym)
  list(APPEND _packages_deb ${_package}_${_version}-1_amd64.deb)
endforeach()
set(_packages_rpm tesmaron-${_version}-1.src.rpm)
foreach(_package tesmaron-libs tesmaron-devel tesmaron tesmaron-libs-debuginfo tesmaron-debuginfo tesmaron-debugsource)
  list(APPEND _packages_rpm ${_package}-${_version}-1.x86_64.rpm)
endforeach()
set(_packages_msi-x86 tesmaron-${_version}-x86.msi)
set(_packages_msi-x64 tesmaron-${_version}-x64.msi)
foreach(kind win32 win64 msi-x86 msi-x64 deb rpm)
  list(TRANSFORM _packages_${kind} PREPEND ${TESMARON_DIST_DIR}/)
  add_test(NAME package.${kind}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_consumer.sh ${PROJECT_SOURCE_DIR} ${TESMARON_DIST_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR}/packages ${_packages_${kind}})
endforeach()

# The MSI packages installed, upgraded, refused and removed under Wine, in
# a prefix of their own; and signed with a certificate made for the test.
add_test(NAME wine.msi COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/msi_test.sh ${PROJECT_SOURCE_DIR}
                               ${TESMARON_DIST_DIR}/tesmaron-${_version}-x64.msi
                               ${TESMARON_DIST_DIR}/tesmaron-${_version}-x86.msi ${CMAKE_CURRENT_BINARY_DIR}/msi)
add_test(NAME sign COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sign_test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/sign)
set_tests_properties(wine.msi PROPERTIES TIMEOUT 300)

# The real boards through the Linux object, and tesmaron-ports case by case,
# each in a private mount namespace (skipped, with the reason, without one).
set(_firmware ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/linux_firmware.sh)
set(_boards ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/real-boards.txt)
set(_fixture $<TARGET_FILE:firmware-fixture>)
add_test(NAME real-boards.linux COMMAND ${_firmware} boards ${_boards} ${_fixture} $<TARGET_FILE:tesmaron-ports>
                                         $<TARGET_FILE:tesmaron_port_id>)
add_test(NAME tesmaron-ports.linux COMMAND ${_firmware} tool ${_boards} ${_fixture} $<TARGET_FILE:tesmaron-ports>
                                            $<TARGET_FILE:tesmaron_port_id>)
# Real servers' type-41 entries (and port lists), from dumps and live, and
# udev's program on them.
add_test(NAME onboard-devices.linux COMMAND ${_firmware} onboard ${CMAKE_CURRENT_SOURCE_DIR}/real_boards/onboard-devices.txt
                                             ${_fixture} $<TARGET_FILE:tesmaron-ports> $<TARGET_FILE:tesmaron_port_id>)
# Its metrics served by a real node exporter and scraped; the example
# alerting rules under promtool's own test runner.
add_test(NAME prometheus.node-exporter COMMAND ${_firmware} exporter ${_boards} ${_fixture} $<TARGET_FILE:tesmaron-ports>)
add_test(NAME prometheus.rules COMMAND promtool test rules ${CMAKE_CURRENT_SOURCE_DIR}/prometheus/rules_test.yml)
# Each port's LLDP neighbour, a real lldpd at the other end of the cables,
# heard and asked of the server's own lldpd, against a plan.
add_test(NAME neighbors.linux COMMAND ${_firmware} neighbors ${_boards} ${_fixture} $<TARGET_FILE:tesmaron-ports>)
# The udev rule and its program, as the Debian packages in dist/ install
# them, on this machine's own network interface in private namespaces; and
# in the initramfs images that mkinitramfs and dracut build with them.
foreach(step rules initramfs)
  add_test(NAME udev.${step} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/udev/udev_test.sh ${step} ${TESMARON_DIST_DIR})
endforeach()
add_test(NAME udev.names COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/udev/udev_test.sh names $<TARGET_FILE:tesmaron_port_id>)
set_tests_properties(real-boards.linux tesmaron-ports.linux onboard-devices.linux prometheus.node-exporter udev.rules
                     udev.initramfs neighbors.linux PROPERTIES SKIP_RETURN_CODE 77)
# make check runs the tests side by side, one per core: the longest start
# first (their seconds on a 2-core machine), the rest fill in around them.
foreach(_cost real-boards.linux:45 wine.msi:30 package.deb:20 tesmaron-ports.linux:20 udev.initramfs:16
              onboard-devices.linux:15 package.rpm:7)
  string(REPLACE ":" ";" _cost ${_cost})
  list(GET _cost 0 _test)
  list(GET _cost 1 _seconds)
  set_tests_properties(${_test} PROPERTIES COST ${_seconds})
endforeach()

# A Visual Studio user's program, built for the MSVC ABI with clang and
# lld-link against dist/; the x64 one then runs under Wine (wine/).
foreach(arch x86 x64)
  add_test(NAME msvc.${arch}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/msvc/msvc_consumer.sh ${PROJECT_SOURCE_DIR}
                   ${TESMARON_DIST_DIR} ${arch} ${CMAKE_CURRENT_BINARY_DIR}/msvc/${arch})
endforeach()

# The Linux library and the unit tests as make builds them for 64-bit and
# 32-bit Arm, run under qemu-user.
foreach(arch arm64 armhf)
  add_test(NAME cross.${arch}
           COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${PROJECT_SOURCE_DIR}/build/linux-${arch} --output-on-failure)
endforeach()

# The release source as REUSE reads it (every file's licence and copyright),
# and the project's own Linux build as Debian's hardening-check reads it.
# The code carries CET's end-branch marks (-fcf-protection), but Debian 12's
# start files (crti.o, Scrt1.o) have no CET property, and the linker keeps
# it only where every object has it: control-flow protection is not asked.
add_test(NAME reuse COMMAND bash -c "set -o pipefail; d=$(mktemp -d) && tar -xzf \"$0\" -C \"$d\" &&
                                     reuse --root \"$d\"/tesmaron-* lint | tail -n 1; s=$?; rm -rf \"$d\"; exit $s"
                                ${TESMARON_DIST_DIR}/tesmaron-${_version}.tar.gz)
add_test(NAME hardening COMMAND hardening-check --quiet --nocfprotection ${TESMARON_DIST_DIR}/linux/libtesmaron.so.${_version}
                                $<TARGET_FILE:tesmaron-ports> $<TARGET_FILE:tesmaron_port_id>)
