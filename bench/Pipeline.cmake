# Benchmarks of the pipeline stages at the default band geometry (Google Benchmark).
find_package(benchmark REQUIRED)
add_executable(karvex_pipeline_bench ${CMAKE_CURRENT_SOURCE_DIR}/PipelineBench.cpp)
target_link_libraries(karvex_pipeline_bench PRIVATE karvex benchmark::benchmark)
