list(APPEND VANTREL_UI_SOURCES
    src/widgets/PictureBox.cpp
    src/widgets/Pictures.cpp
    src/widgets/ChooseImageFile.cpp
    src/widgets/WindowKit.cpp
    src/widgets/OpenedImageView.cpp
    src/widgets/FileDrops.cpp
)
