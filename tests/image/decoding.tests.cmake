vantrel_core_test(image_decoding_tests image/DecodingTest.cpp)
target_link_libraries(image_decoding_tests PRIVATE vantrel_decoding)

# The command line over the isolated load path: a crashing decoder is one line on stderr and
# exit status 1; a TIFF load prints nothing, even with the decoder's stderr left open.
add_test(NAME cli_crashing_decoder
    COMMAND sh -c "out=$(\"$0\" picture \"$1\" \"$2\" 2>&1); rc=$?; echo \"$out\"; \
[ $rc -eq 1 ] && [ \"$out\" = \"vantrel-cli: decoder crashed on $1\" ]"
        $<TARGET_FILE:vantrel-cli> ${VANTREL_TEST_DATA}/truncated.psd
        ${CMAKE_CURRENT_BINARY_DIR}/cli_crashing_decoder.png)
add_test(NAME cli_quiet_tiff
    COMMAND sh -c "err=$(\"$0\" picture \"$1\" \"$2\" 2>&1 >/dev/null); echo \"$err\"; \
[ -z \"$err\" ]"
        $<TARGET_FILE:vantrel-cli> ${VANTREL_TEST_DATA}/scan.TIFF
        ${CMAKE_CURRENT_BINARY_DIR}/cli_quiet_tiff.png)
set_tests_properties(cli_quiet_tiff PROPERTIES
    ENVIRONMENT "VANTREL_DECODER_STDERR=1;ASAN_OPTIONS=detect_leaks=0")
add_test(NAME cli_missing_decoder
    COMMAND sh -c "out=$(\"$0\" picture \"$1\" \"$2\" 2>&1); rc=$?; echo \"$out\"; \
[ $rc -eq 1 ] && [ \"$out\" = \"vantrel-cli: could not start the image decoder /nonexistent/decoder for $1\" ]"
        $<TARGET_FILE:vantrel-cli> ${VANTREL_TEST_DATA}/pattern.png
        ${CMAKE_CURRENT_BINARY_DIR}/cli_missing_decoder.png)
set_tests_properties(cli_missing_decoder PROPERTIES ENVIRONMENT "VANTREL_DECODER=/nonexistent/decoder")
