vantrel_core_test(extract_core_tests extract/ExtractSupport.cpp extract/BitLayoutTest.cpp
    extract/PayloadScanTest.cpp)
vantrel_ui_test(extract_ui_tests extract/BitExtractionTest.cpp)
