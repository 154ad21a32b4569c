# Files of this subsystem: core into VANTREL_CORE_SOURCES, windows into VANTREL_UI_SOURCES.
list(APPEND VANTREL_UI_SOURCES
    src/search/OpenSearch.cpp
)
