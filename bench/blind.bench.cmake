vantrel_benchmark(bench_blind blind/BlindBench.cpp blind/NaiveBlind.cpp)
