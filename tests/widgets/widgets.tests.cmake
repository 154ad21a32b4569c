vantrel_ui_test(widgets_tests widgets/PictureBoxTest.cpp)
