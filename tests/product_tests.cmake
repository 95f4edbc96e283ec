# Checks of the built products, read back: dist/, the installed package, reproducibility.
set(TESMARON_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where 'make' puts the built libraries")
add_executable(image_tests image_test.cpp)
target_compile_definitions(image_tests PRIVATE TESMARON_DIST_DIR="${TESMARON_DIST_DIR}")
target_link_libraries(image_tests PRIVATE GTest::gtest_main)
gtest_discover_tests(image_tests)

foreach(arch x86 x64)
  add_test(NAME ReproducibleDll.${arch}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/reproducible.sh ${PROJECT_SOURCE_DIR} ${arch} ${TESMARON_DIST_DIR})
endforeach()

add_test(NAME PkgConfigConsumer
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/pkgconfig_consumer.sh ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/build/install/linux)

# A Visual Studio user's program, built for the MSVC ABI with clang and
# lld-link against dist/; the x64 one then runs under Wine (wine/).
foreach(arch x86 x64)
  add_test(NAME msvc.${arch}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/msvc/msvc_consumer.sh ${PROJECT_SOURCE_DIR}
                   ${TESMARON_DIST_DIR} ${arch} ${CMAKE_CURRENT_BINARY_DIR}/msvc/${arch})
endforeach()
