# The DNG writer shared by ekv-make --dng and ekv dng, and the tests that have dcraw,
# LibRaw and exiftool read its files.
find_package(TIFF REQUIRED)
find_package(JPEG REQUIRED)

add_library(dngwriter STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dng/DngWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dng/DngCamera.cpp)
target_include_directories(dngwriter PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(dngwriter PUBLIC karvex TIFF::TIFF JPEG::JPEG)
