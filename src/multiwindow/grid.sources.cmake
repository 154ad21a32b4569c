list(APPEND VANTREL_CORE_SOURCES
    src/multiwindow/PlaneKernels.cpp
    src/multiwindow/AnalysisBitmaps.cpp
    src/multiwindow/PictureThumbnails.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/multiwindow/AnalysisGridWindow.cpp
    src/multiwindow/WindowCapture.cpp
    src/multiwindow/S1_Analysis.cpp
    src/multiwindow/S2_Comparison.cpp
    src/multiwindow/S4_Direction.cpp
)
