vantrel_benchmark(bench_blind blind/BlindBench.cpp)
