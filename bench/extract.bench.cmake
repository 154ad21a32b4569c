vantrel_benchmark(bench_extract extract/ExtractBench.cpp)
