list(APPEND VANTREL_CORE_SOURCES
    src/image/Bitmap.cpp
    src/image/ImageLoading.cpp
)
