list(APPEND VANTREL_UI_SOURCES
    src/app/MDIForm1.cpp
    src/app/Form3.cpp
    src/app/Form5.cpp
)
