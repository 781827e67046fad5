# The EKV writer library, the ekv-make command and the bundled sample file that the build
# generates with it (native builds only).
find_package(JPEG REQUIRED)

add_library(ekvwriter STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ekvwriter/EkvWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekvwriter/Jpeg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekvwriter/Scene.cpp)
target_include_directories(ekvwriter PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ekvwriter PUBLIC karvex JPEG::JPEG)

add_executable(ekv-make ${CMAKE_CURRENT_LIST_DIR}/ekvmake/main.cpp)
find_package(TIFF REQUIRED)
target_link_libraries(ekv-make PRIVATE ekvwriter dngwriter TIFF::TIFF)

set(KARVEX_SAMPLE ${CMAKE_BINARY_DIR}/sample/sample.ekv)
add_custom_command(
  OUTPUT ${KARVEX_SAMPLE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/sample
  COMMAND ekv-make sample -o ${KARVEX_SAMPLE}
  DEPENDS ekv-make
  COMMENT "Generating the sample raw file sample/sample.ekv"
  VERBATIM)
add_custom_target(karvex_sample ALL DEPENDS ${KARVEX_SAMPLE})
