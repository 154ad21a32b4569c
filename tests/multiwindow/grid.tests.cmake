vantrel_core_test(planes_tests multiwindow/planesKernelsTest.cpp
    ../bench/multiwindow/NaivePlanes.cpp)
