vantrel_core_test(viewer_maths_tests multiwindow/viewerMathsTest.cpp)
vantrel_ui_test(hub_window_tests multiwindow/hubWindowTest.cpp multiwindow/hubTestSupport.cpp)
vantrel_ui_test(viewer_window_tests multiwindow/viewerWindowTest.cpp
    multiwindow/hubTestSupport.cpp)
