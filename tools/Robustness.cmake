# Robustness tests (native): whole imports of hostile files made with the EKV writer,
# allocation failures everywhere, files that change under an import; and, with
# KARVEX_FUZZ, the libFuzzer targets of tests/fuzz.
find_package(GTest REQUIRED)
file(GLOB KARVEX_ROBUST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/robust/*.cpp)
add_executable(karvex_robust_tests ${KARVEX_ROBUST_SOURCES} ${PROJECT_SOURCE_DIR}/tests/TestHost.cpp)
target_include_directories(karvex_robust_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(karvex_robust_tests PRIVATE hostkit karvex ekvwriter GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(karvex_robust_tests DISCOVERY_TIMEOUT 60)

if(KARVEX_FUZZ)
  include(${PROJECT_SOURCE_DIR}/tests/fuzz/Fuzz.cmake)
endif()
