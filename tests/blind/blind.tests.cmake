vantrel_core_test(blind_core_tests blind/BlindAttacksTest.cpp ../bench/blind/NaiveBlind.cpp)
vantrel_core_test(blind_scan_tests blind/BlindScanTest.cpp)
target_compile_definitions(blind_scan_tests PRIVATE VANTREL_CLI="$<TARGET_FILE:vantrel-cli>")
add_dependencies(blind_scan_tests vantrel-cli vantrel-decoder)
