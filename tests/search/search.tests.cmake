vantrel_core_test(search_core_tests search/SearchFixtures.cpp search/MsbSimilarityTest.cpp
    search/DirectoryWalkTest.cpp search/SimilarSearchTest.cpp)
vantrel_ui_test(search_ui_tests search/SearchFixtures.cpp search/S6SearchTest.cpp)
