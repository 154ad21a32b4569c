vantrel_core_test(search_core_tests search/MsbSimilarityTest.cpp
    search/DirectoryWalkTest.cpp search/SimilarSearchTest.cpp)
vantrel_ui_test(search_ui_tests search/S6SearchTest.cpp)
