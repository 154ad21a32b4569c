vantrel_ui_test(app_window_tests app/MainWindowTest.cpp)
