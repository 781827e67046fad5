# Whole-import benchmark through ENTRYPOINT with the ekv host core, on files that ekv-make
# writes at build time: the camera's default geometry at 10 bits, the same scene at 12
# and 14 bits and at 8 bits (an 8-bit document), and a much taller 10-bit image.
set(KARVEX_IMPORT_BENCH_DIR ${CMAKE_BINARY_DIR}/bench-data)
set(KARVEX_IMPORT_BENCH_FILES)
foreach(entry "import10|--bits|10" "import12|--bits|12" "import14|--bits|14" "import8|--bits|8"
             "tall10|--height|6000|--rows-per-strip|400")
  string(REPLACE "|" ";" entry_list "${entry}")
  list(POP_FRONT entry_list name)
  set(file ${KARVEX_IMPORT_BENCH_DIR}/${name}.ekv)
  add_custom_command(
    OUTPUT ${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KARVEX_IMPORT_BENCH_DIR}
    COMMAND ekv-make sample -o ${file} ${entry_list}
    DEPENDS ekv-make
    COMMENT "Generating the benchmark raw file bench-data/${name}.ekv"
    VERBATIM)
  list(APPEND KARVEX_IMPORT_BENCH_FILES ${file})
endforeach()
add_custom_target(karvex_import_bench_data DEPENDS ${KARVEX_IMPORT_BENCH_FILES})

add_executable(karvex_import_bench ${CMAKE_CURRENT_SOURCE_DIR}/ImportBench.cpp)
target_link_libraries(karvex_import_bench PRIVATE ekvhostcore benchmark::benchmark)
target_compile_definitions(karvex_import_bench PRIVATE KARVEX_IMPORT_BENCH_DIR="${KARVEX_IMPORT_BENCH_DIR}")
add_dependencies(karvex_import_bench karvex_import_bench_data)
