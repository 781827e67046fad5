# The four tone tables: generated as big-endian .bin files (embedded by the Windows
# resource script) and, for the native build, as a C++ source that carries the same bytes.
set(KARVEX_TONE_TABLE_BINS
    ${KARVEX_GENERATED_DIR}/tone_1000.bin
    ${KARVEX_GENERATED_DIR}/tone_1001.bin
    ${KARVEX_GENERATED_DIR}/tone_1002.bin
    ${KARVEX_GENERATED_DIR}/tone_1003.bin)
set(KARVEX_TONE_TABLE_SOURCE ${KARVEX_GENERATED_DIR}/ToneTableBytes.cpp)
add_custom_command(
  OUTPUT ${KARVEX_TONE_TABLE_BINS} ${KARVEX_TONE_TABLE_SOURCE}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/make_tone_tables.py ${KARVEX_GENERATED_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_tone_tables.py
  COMMENT "Generating the tone tables"
  VERBATIM)
add_custom_target(karvex_tone_tables DEPENDS ${KARVEX_TONE_TABLE_BINS} ${KARVEX_TONE_TABLE_SOURCE})
if(NOT WIN32)
  list(APPEND KARVEX_GENERATED_MODULE_SOURCES ${KARVEX_TONE_TABLE_SOURCE})
endif()
