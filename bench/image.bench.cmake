vantrel_benchmark(bench_image image/ConvertBench.cpp)
