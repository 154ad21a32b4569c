vantrel_core_test(files_tests files/DirectoryWalkTest.cpp files/OrderedPoolTest.cpp)
