vantrel_core_test(onewindow_core_tests
    onewindow/LsbViewTest.cpp
    onewindow/LsbColumnsTest.cpp
    onewindow/PsnrTest.cpp
    onewindow/LocalVariationTest.cpp
)
vantrel_ui_test(onewindow_ui_tests onewindow/Form4Test.cpp)
# The window's figures and pictures are compared with those of the command-line tool.
target_compile_definitions(onewindow_ui_tests PRIVATE VANTREL_CLI="$<TARGET_FILE:vantrel-cli>")
add_dependencies(onewindow_ui_tests vantrel-cli)
