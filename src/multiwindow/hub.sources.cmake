list(APPEND VANTREL_CORE_SOURCES
    src/multiwindow/ViewerMaths.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/multiwindow/S0_Images.cpp
    src/multiwindow/S3_FullSize.cpp
    src/multiwindow/S5_Zoom.cpp
)
