# The module as a static library `karvex`, which the native command-line host, the tests
# and (through its objects) the Windows module are built from, and the tone tables it
# carries as resources.

# ---- the tone tables ------------------------------------------------------------------
# Generated as big-endian .bin files (embedded by the Windows resource script) and, for the
# native build, as a C++ source that carries the same bytes.
set(KARVEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${KARVEX_GENERATED_DIR})
set(KARVEX_TONE_TABLE_BINS)
foreach(id 1000 1001 1002 1003)
  list(APPEND KARVEX_TONE_TABLE_BINS ${KARVEX_GENERATED_DIR}/tone_${id}.bin)
endforeach()
set(KARVEX_TONE_TABLE_SOURCE ${KARVEX_GENERATED_DIR}/ToneTableBytes.cpp)
add_custom_command(
  OUTPUT ${KARVEX_TONE_TABLE_BINS} ${KARVEX_TONE_TABLE_SOURCE}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/make_tone_tables.py ${KARVEX_GENERATED_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_tone_tables.py
  COMMENT "Generating the tone tables"
  VERBATIM)
add_custom_target(karvex_tone_tables DEPENDS ${KARVEX_TONE_TABLE_BINS} ${KARVEX_TONE_TABLE_SOURCE})

# ---- the sources ----------------------------------------------------------------------
# Every .cpp of the module's folders, with *_posix.cpp only in the native build and
# *_win32.cpp only in the Windows build.
set(KARVEX_MODULE_SOURCES "")
foreach(dir host plugin rawfile pipeline pipeline/reference pipeline/kernels ui)
  file(GLOB dir_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND KARVEX_MODULE_SOURCES ${dir_sources})
endforeach()
if(WIN32)
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER KARVEX_MODULE_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
  list(APPEND KARVEX_MODULE_SOURCES ${KARVEX_TONE_TABLE_SOURCE})
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
  # BMI2 (on every processor with AVX2 that the run-time choice accepts) gives shifts by a
  # count in a register in one micro-operation instead of three: the tone look-ups.
  set_source_files_properties(${KARVEX_KERNEL_DIR}/StageKernels_AVX2.cpp PROPERTIES
    COMPILE_OPTIONS "${KARVEX_WIDE_KERNEL_OPTIONS};-mavx2;-mbmi2")
  set_source_files_properties(${KARVEX_KERNEL_DIR}/StageKernels_AVX512.cpp PROPERTIES
    COMPILE_OPTIONS
    "${KARVEX_WIDE_KERNEL_OPTIONS};-mavx512f;-mavx512vl;-mavx512bw;-mavx512dq;-mbmi2;-mprefer-vector-width=512")
endif()

add_library(karvex STATIC ${KARVEX_MODULE_SOURCES})
target_include_directories(karvex PUBLIC ${PROJECT_SOURCE_DIR})
add_dependencies(karvex karvex_tone_tables)
if(WIN32)
  # GDI+ is not linked: the module loads it while the conversion dialog is open.
  target_link_libraries(karvex PUBLIC comdlg32 user32 gdi32 ole32)
endif()
