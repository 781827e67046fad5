# The DNG writer shared by ekv-make --dng and ekv dng, and the tests that have dcraw,
# LibRaw and exiftool read its files.
find_package(TIFF REQUIRED)
find_package(JPEG REQUIRED)

add_library(dngwriter STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dng/DngWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dng/DngCamera.cpp)
# libtiff's headers only: each program links libtiff its own way (ekv statically).
target_include_directories(dngwriter PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR} ${TIFF_INCLUDE_DIR})
target_link_libraries(dngwriter PUBLIC karvex)

foreach(group mosaic clients colour refusals outputs metadata)
  add_test(NAME ekv_dng_${group}
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/dng/dng_test.sh ${group}
                   $<TARGET_FILE:ekv> $<TARGET_FILE:ekv-make> ${CMAKE_BINARY_DIR}/ekv_dng_test/${group})
endforeach()
