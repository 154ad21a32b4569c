vantrel_core_test(onewindow_core_tests
    onewindow/LsbViewTest.cpp
    onewindow/LsbColumnsTest.cpp
    onewindow/PsnrTest.cpp
    onewindow/LocalVariationTest.cpp
)
