list(APPEND VANTREL_CORE_SOURCES
    src/onewindow/LsbColumns.cpp
    src/onewindow/LsbView.cpp
    src/onewindow/LocalVariation.cpp
    src/onewindow/Psnr.cpp
)
list(APPEND VANTREL_UI_SOURCES
    src/onewindow/Form4.cpp
)
