list(APPEND VANTREL_UI_SOURCES
    src/multiwindow/S1_Analysis.cpp
    src/multiwindow/S2_Comparison.cpp
    src/multiwindow/S4_Direction.cpp
)
