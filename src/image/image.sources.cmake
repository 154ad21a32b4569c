list(APPEND VANTREL_CORE_SOURCES
    src/image/Bitmap.cpp
    src/image/ImageLoading.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/image/PictureBox.cpp
    src/image/Pictures.cpp
    src/image/ChooseImageFile.cpp
    src/image/WindowKit.cpp
)
