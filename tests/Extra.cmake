# Native-only tests that need the EKV writer (which is built natively only): a second
# GoogleTest program from tests/native/*.cpp.
if(NOT WIN32)
  file(GLOB KARVEX_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/native/*.cpp)
  find_program(KARVEX_TIFFDUMP tiffdump REQUIRED)
  add_executable(karvex_native_tests ${KARVEX_NATIVE_TEST_SOURCES})
  target_link_libraries(karvex_native_tests PRIVATE karvex ekvwriter GTest::gtest GTest::gtest_main)
  target_compile_definitions(karvex_native_tests PRIVATE
    KARVEX_TIFFDUMP="${KARVEX_TIFFDUMP}"
    KARVEX_EKV_MAKE="$<TARGET_FILE:ekv-make>"
    KARVEX_SAMPLE_FILE="${CMAKE_BINARY_DIR}/sample/sample.ekv"
    KARVEX_NATIVE_TEST_DIR="${CMAKE_BINARY_DIR}/native-testdata")
  add_dependencies(karvex_native_tests ekv-make karvex_sample)
  include(GoogleTest)
  gtest_discover_tests(karvex_native_tests DISCOVERY_TIMEOUT 60)
endif()
