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
# The thumbnails reproduce FreeImage's box filter sum by sum: a multiply and an add must stay two
# roundings where the x86-64-v3 build could fuse them.
set_source_files_properties(src/multiwindow/PictureThumbnails.cpp PROPERTIES
    COMPILE_OPTIONS -ffp-contract=off)
