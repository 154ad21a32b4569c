list(APPEND VANTREL_CORE_SOURCES
    src/search/DirectoryWalk.cpp
    src/search/MsbSimilarity.cpp
    src/search/SimilarSearch.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/search/S6_Search.cpp
    src/search/SearchLists.cpp
)
