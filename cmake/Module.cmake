# The plug-in's sources: every .cpp of the module's folders, with *_posix.cpp only in the
# native build and *_win32.cpp only in the Windows build.
set(KARVEX_MODULE_DIRS host plugin rawfile pipeline pipeline/reference pipeline/kernels ui)
set(KARVEX_MODULE_SOURCES "")
foreach(dir ${KARVEX_MODULE_DIRS})
  file(GLOB dir_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND KARVEX_MODULE_SOURCES ${dir_sources})
endforeach()
if(WIN32)
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
endif()

# The stage kernels are written for the compiler to vectorise: -O3, and no assumption
# that arithmetic may trap (values and rounding are unchanged; only exception flags
# could differ). The AVX2 and AVX-512 variants exist on x86-64 (Linux and Windows) only
# and are chosen at run time; none may use fused multiply-add.
set(KARVEX_KERNEL_DIR ${PROJECT_SOURCE_DIR}/pipeline/kernels)
set_source_files_properties(${KARVEX_KERNEL_DIR}/StageKernels_Base.cpp PROPERTIES
  COMPILE_OPTIONS "-O3;-fno-trapping-math")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  set(KARVEX_WIDE_KERNEL_OPTIONS -O3 -fno-trapping-math -mno-fma)
  if(WIN32)
    # The Windows x64 stack is only 16-byte aligned, and GCC may spill 32- and 64-byte
    # vectors to it with aligned moves: the assembler writes every vector move unaligned
    # instead (same speed on aligned data, same results).
    list(APPEND KARVEX_WIDE_KERNEL_OPTIONS -Wa,-muse-unaligned-vector-move)
  endif()
  set_source_files_properties(${KARVEX_KERNEL_DIR}/StageKernels_AVX2.cpp PROPERTIES
    COMPILE_OPTIONS "${KARVEX_WIDE_KERNEL_OPTIONS};-mavx2")
  set_source_files_properties(${KARVEX_KERNEL_DIR}/StageKernels_AVX512.cpp PROPERTIES
    COMPILE_OPTIONS
    "${KARVEX_WIDE_KERNEL_OPTIONS};-mavx512f;-mavx512vl;-mavx512bw;-mavx512dq;-mprefer-vector-width=512")
endif()

# The module as a static library: the native command-line host and the tests link it.
add_library(karvex STATIC ${KARVEX_MODULE_SOURCES} ${KARVEX_GENERATED_MODULE_SOURCES})
target_include_directories(karvex PUBLIC ${PROJECT_SOURCE_DIR})
if(WIN32)
  # GDI+ is not linked: the module loads it while the conversion dialog is open.
  target_link_libraries(karvex PUBLIC comdlg32 user32 gdi32 ole32)
  include(${PROJECT_SOURCE_DIR}/cmake/WindowsModule.cmake OPTIONAL)
endif()
