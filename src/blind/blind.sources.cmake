list(APPEND VANTREL_CORE_SOURCES
    src/blind/BlindAttacks.cpp
    src/blind/BlindReport.cpp
    src/blind/BlindScan.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/blind/BlindAnalysis.cpp
)
