# Files of this subsystem: core into VANTREL_CORE_SOURCES, windows into VANTREL_UI_SOURCES.
list(APPEND VANTREL_UI_SOURCES
    src/multiwindow/OpenMultiWindow.cpp
    src/multiwindow/S1_Analysis.cpp
    src/multiwindow/S2_Comparison.cpp
    src/multiwindow/S3_FullSize.cpp
    src/multiwindow/S4_Direction.cpp
)
