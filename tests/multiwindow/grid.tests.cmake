vantrel_core_test(planes_tests multiwindow/planesKernelsTest.cpp
    ../bench/multiwindow/NaivePlanes.cpp)
vantrel_ui_test(grid_window_tests multiwindow/gridWindowTest.cpp)
