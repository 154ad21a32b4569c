vantrel_benchmark(bench_onewindow onewindow/OneWindowBench.cpp)
# The naive baselines read the displayed picture one QImage::pixel call at a time.
target_link_libraries(bench_onewindow PRIVATE Qt6::Gui)
