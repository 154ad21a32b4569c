vantrel_core_test(image_core_tests image/ColorModelTest.cpp image/ImageLoadingTest.cpp)
