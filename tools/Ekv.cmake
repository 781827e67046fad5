# The command-line host `ekv` and its end-to-end tests.
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)

file(GLOB EKV_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ekv/*.cpp)
add_executable(ekv ${EKV_SOURCES})
target_include_directories(ekv PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekv PRIVATE karvex TIFF::TIFF PNG::PNG JPEG::JPEG)

# A small libpng/libtiff reader the tests use to look at what ekv wrote.
add_executable(ekv_imagecheck ${PROJECT_SOURCE_DIR}/tests/cli/ImageCheck.cpp)
target_link_libraries(ekv_imagecheck PRIVATE TIFF::TIFF PNG::PNG)

set(EKV_CLI_TEST ${PROJECT_SOURCE_DIR}/tests/ekv_cli_test.sh)
foreach(group errors convert outputs thumbnail preview)
  add_test(NAME ekv_cli_${group}
           COMMAND bash ${EKV_CLI_TEST} ${group}
                   $<TARGET_FILE:ekv> $<TARGET_FILE:ekv_imagecheck> $<TARGET_FILE:ekv-make>
                   ${CMAKE_BINARY_DIR}/sample/sample.ekv ${CMAKE_BINARY_DIR}/ekv_cli_test/${group})
endforeach()
