vantrel_ui_test(app_window_tests app/MainWindowTest.cpp)
vantrel_ui_test(app_workflow_tests app/WorkflowTest.cpp)
