# Not vantrel_benchmark: this program needs only the JPEG libraries and libjpeg, not every core
# library. The naive calibration is the tests' reference, compiled in.
find_package(JPEG REQUIRED)
add_executable(bench_jpeg jpeg/JpegBench.cpp ${PROJECT_SOURCE_DIR}/tests/jpeg/NaiveJpeg.cpp)
target_link_libraries(bench_jpeg PRIVATE vantrel_jpeg vantrel_jpeg_reader JPEG::JPEG Boost::headers
    benchmark::benchmark)
target_include_directories(bench_jpeg PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
