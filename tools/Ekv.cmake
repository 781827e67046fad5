# The command-line host `ekv` and its end-to-end tests.
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)

# The host core (the Acquire run, the host's memory, the delivery checks, the document)
# is a library of its own, so that benchmarks and tests drive the module through the
# same host as ekv.
set(EKV_HOST_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ekv/AcquireHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/DeliveryCheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/HostBlocks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/PlaneAssembly.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/RgbImage.cpp)
add_library(ekvhostcore STATIC ${EKV_HOST_CORE_SOURCES})
target_include_directories(ekvhostcore PUBLIC ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekvhostcore PUBLIC karvex)

file(GLOB EKV_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ekv/*.cpp)
list(REMOVE_ITEM EKV_SOURCES ${EKV_HOST_CORE_SOURCES})
add_executable(ekv ${EKV_SOURCES})
target_include_directories(ekv PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekv PRIVATE ekvhostcore karvex TIFF::TIFF PNG::PNG JPEG::JPEG PkgConfig::LCMS2)
# One version for 'ekv --version' and the Software tag of the outputs.
target_compile_definitions(ekv PRIVATE EKV_VERSION="${PROJECT_VERSION}")

# A small libpng/libtiff reader the tests use to look at what ekv wrote.
add_executable(ekv_imagecheck ${PROJECT_SOURCE_DIR}/tests/cli/ImageCheck.cpp)
target_link_libraries(ekv_imagecheck PRIVATE TIFF::TIFF PNG::PNG PkgConfig::LCMS2)

set(EKV_CLI_TEST ${PROJECT_SOURCE_DIR}/tests/ekv_cli_test.sh)
foreach(group errors convert outputs thumbnail preview metadata scripts)
  add_test(NAME ekv_cli_${group}
           COMMAND bash ${EKV_CLI_TEST} ${group}
                   $<TARGET_FILE:ekv> $<TARGET_FILE:ekv_imagecheck> $<TARGET_FILE:ekv-make>
                   ${CMAKE_BINARY_DIR}/sample/sample.ekv ${CMAKE_BINARY_DIR}/ekv_cli_test/${group})
endforeach()
