# The recovery count embeds payloads with the tests' writer (tests/reference).
vantrel_benchmark(bench_extract extract/ExtractBench.cpp)
