vantrel_core_test(verdict_tests verdict/VerdictTest.cpp verdict/ScanTest.cpp)
add_dependencies(verdict_tests vantrel-cli vantrel-decoder)
