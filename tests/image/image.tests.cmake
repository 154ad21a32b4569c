vantrel_core_test(image_core_tests image/ColorModelTest.cpp image/ImageLoadingTest.cpp)
vantrel_ui_test(image_ui_tests image/PictureBoxTest.cpp)
