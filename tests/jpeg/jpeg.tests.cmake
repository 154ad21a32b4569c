find_package(JPEG REQUIRED)
add_library(vantrel_jpeg_test_support STATIC jpeg/JpegTestSupport.cpp jpeg/NaiveJpeg.cpp)
target_link_libraries(vantrel_jpeg_test_support PUBLIC vantrel_jpeg vantrel_jpeg_reader JPEG::JPEG
    GTest::gtest)
target_include_directories(vantrel_jpeg_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/jpeg)
target_compile_definitions(vantrel_jpeg_test_support PUBLIC
    VANTREL_TEST_DATA="${VANTREL_TEST_DATA}")

add_executable(jpeg_tests jpeg/JpegReaderTest.cpp jpeg/JpegStatisticsTest.cpp)
target_link_libraries(jpeg_tests PRIVATE vantrel_jpeg_test_support vantrel_jpeg_wire GTest::gtest_main)
add_test(NAME jpeg_tests COMMAND jpeg_tests)

# Not a test: the corpus measurement, run by hand over tools/make_jpeg_fixtures.sh corpus DIR.
add_executable(jpeg_corpus jpeg/JpegCorpus.cpp)
target_link_libraries(jpeg_corpus PRIVATE vantrel_jpeg_test_support)
