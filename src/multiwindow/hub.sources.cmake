list(APPEND VANTREL_UI_SOURCES
    src/multiwindow/OpenMultiWindow.cpp
    src/multiwindow/S3_FullSize.cpp
)
