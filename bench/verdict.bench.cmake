vantrel_benchmark(bench_verdict verdict/VerdictBench.cpp)
