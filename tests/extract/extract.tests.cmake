vantrel_core_test(extract_core_tests extract/BitLayoutTest.cpp extract/PayloadScanTest.cpp
    extract/RecognitionTest.cpp)
target_link_libraries(extract_core_tests PRIVATE vantrel_test_reference)
vantrel_ui_test(extract_ui_tests extract/BitExtractionTest.cpp)

# The command line: the JSON line of a steggy image, a stream prefix, exit 1 for an unreadable file.
set(EXTRACT_FIXTURE ${VANTREL_TEST_DATA}/extract/steggy.png)
add_test(NAME extract_cli_find COMMAND vantrel-cli find --json ${EXTRACT_FIXTURE})
set_tests_properties(extract_cli_find PROPERTIES PASS_REGULAR_EXPRESSION
    "^{\"path\": \"[^\"]*steggy.png\", \"file\": \"[^\"]*steggy.png\", \"verdict\": \"found\", \"error\": null, \"findings\": \\[{\"layout\": \"b1,rgb,lsb,xy\", \"kind\": \"steggy\", \"tier\": \"found\", \"offset\": 0, \"length\": 94,")
add_test(NAME extract_cli_bytes COMMAND vantrel-cli extract ${EXTRACT_FIXTURE} b1,rgb,lsb,xy --bytes 94)
set_tests_properties(extract_cli_bytes PROPERTIES PASS_REGULAR_EXPRESSION
    "Meet at the north gate at dawn; bring the blue folder.$")
add_test(NAME extract_cli_unreadable COMMAND vantrel-cli find ${EXTRACT_FIXTURE} /nonexistent.png)
set_tests_properties(extract_cli_unreadable PROPERTIES WILL_FAIL TRUE)
# A clean JPEG: its flat blocks start streams low, which is not a length; its JSteg stream reads.
set(EXTRACT_JPEG ${VANTREL_TEST_DATA}/jpeg/chelsea-q85-444.jpg)
add_test(NAME extract_cli_clean_jpeg COMMAND vantrel-cli find --json ${EXTRACT_JPEG})
set_tests_properties(extract_cli_clean_jpeg PROPERTIES PASS_REGULAR_EXPRESSION
    "\"verdict\": \"(nothing|weak)\"")
add_test(NAME extract_cli_jsteg_stream COMMAND vantrel-cli extract ${EXTRACT_JPEG} jsteg-magnitude
    --bytes 8 --output ${CMAKE_CURRENT_BINARY_DIR}/jsteg-magnitude.bin)
