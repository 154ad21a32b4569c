add_executable(steghide_tests steghide/SteghideTest.cpp steghide/SteghideTestFiles.cpp)
target_link_libraries(steghide_tests PRIVATE vantrel_steghide vantrel_jpeg_reader
    GTest::gtest_main)
target_include_directories(steghide_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(steghide_tests PRIVATE VANTREL_TEST_DATA="${VANTREL_TEST_DATA}")
add_test(NAME steghide_tests COMMAND steghide_tests)
