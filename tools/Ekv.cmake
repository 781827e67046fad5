# The command-line host `ekv` and its end-to-end tests.
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(Threads REQUIRED)

# The image libraries of ekv's outputs. Linked in statically when their archives are
# installed (Debian's -dev packages carry them): loading libtiff with its codec libraries,
# libpng and libjpeg at every start took two thirds of the start-up of ekv, about 10 ms
# of each conversion on the test machine.
option(KARVEX_STATIC_IMAGE_LIBS "Link ekv with the static libtiff, libpng and libjpeg when installed" ON)
set(EKV_IMAGE_LIBS TIFF::TIFF PNG::PNG JPEG::JPEG)
if(KARVEX_STATIC_IMAGE_LIBS)
  set(ekv_static_archives)
  set(ekv_static_missing)
  # libtiff's own dependencies (pkg-config --static --libs libtiff-4), then libpng's.
  foreach(name tiff webp Lerc jbig zstd lzma png16 jpeg deflate z)
    find_library(KARVEX_STATIC_LIB_${name} NAMES lib${name}.a)
    if(KARVEX_STATIC_LIB_${name})
      list(APPEND ekv_static_archives ${KARVEX_STATIC_LIB_${name}})
    else()
      list(APPEND ekv_static_missing ${name})
    endif()
  endforeach()
  if(ekv_static_missing)
    message(STATUS "ekv: shared image libraries (no static lib${ekv_static_missing}.a)")
  else()
    set(EKV_IMAGE_LIBS ${ekv_static_archives} m Threads::Threads)
  endif()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)

# The host core (the Acquire run, the host's memory, the delivery checks, the document)
# is a library of its own, so that benchmarks and tests drive the module through the
# same host as ekv.
set(EKV_HOST_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ekv/AcquireHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/BandStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/PlaneAssembly.cpp)
add_library(ekvhostcore STATIC ${EKV_HOST_CORE_SOURCES})
target_include_directories(ekvhostcore PUBLIC ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekvhostcore PUBLIC hostkit karvex)

# The output side (image encoders, the streaming writer thread, temporary outputs, the
# batch runner) is a library too, for the tests that stream imports into files.
set(EKV_OUTPUT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ekv/BatchRunner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/ImageWriters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/OutputFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/OutputMetadata.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/OutputTarget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/PngWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/ProgressBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/SignalCleanup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/StreamWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ekv/TiffWriter.cpp)
add_library(ekvoutput STATIC ${EKV_OUTPUT_SOURCES})
target_include_directories(ekvoutput PUBLIC ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekvoutput PUBLIC ekvhostcore ${EKV_IMAGE_LIBS} Threads::Threads)

file(GLOB EKV_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ekv/*.cpp)
list(REMOVE_ITEM EKV_SOURCES ${EKV_HOST_CORE_SOURCES} ${EKV_OUTPUT_SOURCES})
add_executable(ekv ${EKV_SOURCES})
target_include_directories(ekv PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ekv)
target_link_libraries(ekv PRIVATE ekvoutput ekvhostcore dngwriter karvex ${EKV_IMAGE_LIBS} PkgConfig::LCMS2
                      Threads::Threads)
# One version for 'ekv --version' and the Software tag of the outputs.
target_compile_definitions(ekv PRIVATE EKV_VERSION="${PROJECT_VERSION}")
# The C++ runtime linked in as well: one shared library less to load at every start.
if(KARVEX_STATIC_IMAGE_LIBS AND NOT KARVEX_SANITIZE)
  target_link_options(ekv PRIVATE -static-libstdc++ -static-libgcc)
endif()

# A small libpng/libtiff reader the tests use to look at what ekv wrote.
add_executable(ekv_imagecheck ${PROJECT_SOURCE_DIR}/tests/cli/ImageCheck.cpp)
target_link_libraries(ekv_imagecheck PRIVATE TIFF::TIFF PNG::PNG PkgConfig::LCMS2)

set(EKV_CLI_TEST ${PROJECT_SOURCE_DIR}/tests/ekv_cli_test.sh)
foreach(group errors convert outputs targets interrupts stream thumbnail preview metadata scripts)
  add_test(NAME ekv_cli_${group}
           COMMAND bash ${EKV_CLI_TEST} ${group}
                   $<TARGET_FILE:ekv> $<TARGET_FILE:ekv_imagecheck> $<TARGET_FILE:ekv-make>
                   ${CMAKE_BINARY_DIR}/sample/sample.ekv ${CMAKE_BINARY_DIR}/ekv_cli_test/${group})
endforeach()
