# Not vantrel_benchmark: this program needs only the steghide library, not every core library.
add_executable(bench_steghide steghide/SteghideBench.cpp steghide/NaiveSteghide.cpp)
target_link_libraries(bench_steghide PRIVATE vantrel_steghide benchmark::benchmark)
target_include_directories(bench_steghide PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
