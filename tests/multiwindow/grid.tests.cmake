vantrel_core_test(planes_tests multiwindow/planesKernelsTest.cpp multiwindow/pictureThumbnailsTest.cpp
    multiwindow/threadCountTest.cpp)
target_link_libraries(planes_tests PRIVATE vantrel_test_reference)
vantrel_ui_test(grid_window_tests multiwindow/gridWindowTest.cpp)
vantrel_ui_test(grid_cli_tests multiwindow/gridCliTest.cpp)
target_compile_definitions(grid_cli_tests PRIVATE VANTREL_CLI="$<TARGET_FILE:vantrel-cli>")
add_dependencies(grid_cli_tests vantrel-cli)
