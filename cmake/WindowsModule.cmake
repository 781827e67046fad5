# The real Windows module KarvexRAW.8ba (32-bit or 64-bit, as the toolchain builds), its
# resources, and a test build without the media layer. The Windows host ekvhost is built
# in tools/, the Windows tests are registered in tests/.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  set(KARVEX_WINDOWS_ARCH x86_64)
else()
  set(KARVEX_WINDOWS_ARCH i686)
endif()

# ---- resources ----------------------------------------------------------------------
set(KARVEX_PIPL_FILE ${KARVEX_GENERATED_DIR}/karvex_pipl.bin)
add_custom_command(
  OUTPUT ${KARVEX_PIPL_FILE}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/make_pipl.py ${KARVEX_PIPL_FILE}
          ${KARVEX_WINDOWS_ARCH}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_pipl.py
  COMMENT "Generating the property list"
  VERBATIM)
add_custom_target(karvex_pipl DEPENDS ${KARVEX_PIPL_FILE})

set(KARVEX_RC_DEPENDS ${KARVEX_PIPL_FILE} ${PROJECT_SOURCE_DIR}/resources/Strings.h)
add_library(karvex_resources OBJECT ${PROJECT_SOURCE_DIR}/resources/Module.rc)
# The compiler flags of the C++ sources mean nothing to windres.
set_property(TARGET karvex_resources PROPERTY COMPILE_OPTIONS "")
target_include_directories(karvex_resources PRIVATE ${KARVEX_GENERATED_DIR} ${PROJECT_SOURCE_DIR}/resources)
add_dependencies(karvex_resources karvex_pipl)
add_dependencies(karvex_resources karvex_tone_tables)
target_compile_definitions(karvex_resources PRIVATE KARVEX_HAVE_TONE_TABLES)
list(APPEND KARVEX_RC_DEPENDS ${KARVEX_TONE_TABLE_BINS})
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/Module.rc PROPERTIES OBJECT_DEPENDS
                                                                                 "${KARVEX_RC_DEPENDS}")

# ---- the module ---------------------------------------------------------------------
# Built from the objects of the karvex library, so that DllMain, ENTRYPOINT and
# DialogProc are all in, with the C++ runtime linked statically (only system DLLs are
# imported) and stdcall names exported without their @n suffix.
function(karvex_add_module target folder)
  add_library(${target} MODULE ${ARGN} $<TARGET_OBJECTS:karvex_resources>)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME KarvexRAW PREFIX "" SUFFIX ".8ba" LINKER_LANGUAGE CXX
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
  target_link_libraries(${target} PRIVATE $<TARGET_PROPERTY:karvex,INTERFACE_LINK_LIBRARIES>)
  add_dependencies(${target} karvex karvex_resources)
endfunction()

karvex_add_module(KarvexRAW plugins $<TARGET_OBJECTS:karvex>)

# A test build of the same module whose media layer never starts (KARVEX_TEST_HOOKS): a
# host loads it to see the module on a machine without the layer.
add_library(karvex_startup_nomedia OBJECT ${PROJECT_SOURCE_DIR}/host/MediaLayerStartup_win32.cpp)
target_include_directories(karvex_startup_nomedia PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(karvex_startup_nomedia PRIVATE KARVEX_TEST_HOOKS)
karvex_add_module(KarvexRAW_nomedia plugins-nomedia
  $<FILTER:$<TARGET_OBJECTS:karvex>,EXCLUDE,MediaLayerStartup_win32>
  $<TARGET_OBJECTS:karvex_startup_nomedia>)

# ---- the release zip (64-bit configuration, with the 32-bit module of another build) --
if(KARVEX_WINDOWS_ARCH STREQUAL "x86_64")
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsRelease.cmake)
endif()
