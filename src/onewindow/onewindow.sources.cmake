list(APPEND VANTREL_UI_SOURCES
    src/onewindow/Form4.cpp
)
