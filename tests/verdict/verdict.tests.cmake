vantrel_core_test(verdict_tests verdict/VerdictTest.cpp verdict/ScanTest.cpp)
add_dependencies(verdict_tests vantrel-cli vantrel-decoder)
vantrel_ui_test(verdict_ui_tests verdict/VerdictWindowTest.cpp)
add_dependencies(verdict_ui_tests vantrel-decoder)
