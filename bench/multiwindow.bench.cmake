vantrel_benchmark(bench_multiwindow multiwindow/GridBench.cpp multiwindow/GridRun.cpp)
# Not a bench_* program: bench/run leaves it out; run it by hand for the peak memory of a run.
vantrel_benchmark(multiwindow_peak_memory multiwindow/PeakMemory.cpp multiwindow/GridRun.cpp)
# Not a bench_* program either: the resident memory of a hub with two 24 MP images.
vantrel_benchmark(hub_memory multiwindow/HubMemory.cpp)
target_link_libraries(hub_memory PRIVATE vantrel_ui)
