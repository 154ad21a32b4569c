vantrel_core_test(onewindow_core_tests
    onewindow/LsbViewTest.cpp
    onewindow/LsbColumnsTest.cpp
    onewindow/PsnrTest.cpp
    onewindow/LocalVariationTest.cpp
)
vantrel_ui_test(onewindow_ui_tests onewindow/Form4Test.cpp)
