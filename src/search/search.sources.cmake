list(APPEND VANTREL_UI_SOURCES
    src/search/OpenSearch.cpp
)
