vantrel_ui_test(app_window_tests app/MainWindowTest.cpp)
vantrel_ui_test(app_workflow_tests app/WorkflowTest.cpp)
# --version and --help answer without a display: no platform plugin is asked for one.
add_test(NAME app_version_without_display COMMAND env -u QT_QPA_PLATFORM -u DISPLAY
    -u WAYLAND_DISPLAY sh -c
    "out=$(\"$0\" --version) && test \"$out\" = \"Vantrel ${PROJECT_VERSION}\" && \"$0\" --help | grep -q -- --version"
    $<TARGET_FILE:vantrel>)
