list(APPEND VANTREL_CORE_SOURCES
    src/extract/BitLayout.cpp
    src/extract/BitStream.cpp
    src/extract/ExtractLoading.cpp
    src/extract/PayloadScan.cpp
    src/extract/ToolFormats.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/extract/BitExtraction.cpp
)
