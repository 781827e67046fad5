# Whole-import tests (native): optimised against straightforward stages on files made by
# ekv-make, and the module's working memory, through the ekv host core.
find_package(GTest REQUIRED)
file(GLOB KARVEX_WHOLE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/whole/*.cpp)
add_executable(karvex_whole_tests ${KARVEX_WHOLE_SOURCES})
target_link_libraries(karvex_whole_tests PRIVATE ekvoutput ekvhostcore GTest::gtest GTest::gtest_main)
target_compile_definitions(karvex_whole_tests PRIVATE
  KARVEX_EKV_MAKE="$<TARGET_FILE:ekv-make>"
  KARVEX_WHOLE_TEST_DIR="${CMAKE_BINARY_DIR}/whole-testdata")
add_dependencies(karvex_whole_tests ekv-make)
include(GoogleTest)
gtest_discover_tests(karvex_whole_tests DISCOVERY_TIMEOUT 60)
