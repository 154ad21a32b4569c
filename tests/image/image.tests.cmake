vantrel_core_test(image_core_tests image/ColorModelTest.cpp image/ImageLoadingTest.cpp
                  image/JsonTest.cpp)
# Its own program: once the decoders are stopped, nothing in the process decodes again.
vantrel_core_test(stop_decoders_tests image/StopDecodersTest.cpp)
