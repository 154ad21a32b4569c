vantrel_benchmark(bench_search search/SearchBench.cpp)
