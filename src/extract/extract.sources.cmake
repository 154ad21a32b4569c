list(APPEND VANTREL_CORE_SOURCES
    src/extract/BitLayout.cpp
    src/extract/BitStream.cpp
)
