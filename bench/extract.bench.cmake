# The recovery count embeds payloads with the tests' writer.
vantrel_benchmark(bench_extract extract/ExtractBench.cpp
    ${PROJECT_SOURCE_DIR}/tests/extract/ExtractSupport.cpp)
target_include_directories(bench_extract PRIVATE ${PROJECT_SOURCE_DIR}/tests)
