# libFuzzer targets (clang, KARVEX_FUZZ=ON) and their seed corpora, written at build time by
# karvex_fuzz_seeds with the EKV writer into <build>/fuzz-seeds. tests/fuzz/run.sh runs them.
set(KARVEX_FUZZ_DIR ${PROJECT_SOURCE_DIR}/tests/fuzz)
set(KARVEX_FUZZ_TARGETS)
foreach(name header import strip)
  string(SUBSTRING ${name} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${name} 1 -1 rest)
  add_executable(karvex_fuzz_${name} ${KARVEX_FUZZ_DIR}/${first}${rest}Fuzz.cpp ${PROJECT_SOURCE_DIR}/tests/TestHost.cpp)
  target_include_directories(karvex_fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(karvex_fuzz_${name} PRIVATE hostkit karvex)
  target_link_options(karvex_fuzz_${name} PRIVATE -fsanitize=fuzzer)
  list(APPEND KARVEX_FUZZ_TARGETS karvex_fuzz_${name})
endforeach()

add_executable(karvex_fuzz_seeds ${KARVEX_FUZZ_DIR}/MakeSeeds.cpp)
target_link_libraries(karvex_fuzz_seeds PRIVATE ekvwriter)
set(KARVEX_FUZZ_SEEDS ${CMAKE_BINARY_DIR}/fuzz-seeds)
add_custom_command(
  OUTPUT ${KARVEX_FUZZ_SEEDS}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KARVEX_FUZZ_SEEDS}
  COMMAND karvex_fuzz_seeds ${KARVEX_FUZZ_SEEDS}
  COMMAND ${CMAKE_COMMAND} -E touch ${KARVEX_FUZZ_SEEDS}/stamp
  DEPENDS karvex_fuzz_seeds
  COMMENT "Writing the fuzz seed corpora"
  VERBATIM)
add_custom_target(karvex_fuzz DEPENDS ${KARVEX_FUZZ_TARGETS} ${KARVEX_FUZZ_SEEDS}/stamp)
