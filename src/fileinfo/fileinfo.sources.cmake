list(APPEND VANTREL_CORE_SOURCES
    src/fileinfo/FileInfo.cpp
    src/fileinfo/ImageComment.cpp
)
