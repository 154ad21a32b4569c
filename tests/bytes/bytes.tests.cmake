vantrel_core_test(bytes_tests bytes/BytesTest.cpp)
target_link_libraries(bytes_tests PRIVATE vantrel_bytes)
