vantrel_core_test(cli_tests cli/CliTest.cpp)
target_compile_definitions(cli_tests PRIVATE VANTREL_CLI="$<TARGET_FILE:vantrel-cli>")
add_dependencies(cli_tests vantrel-cli)
# `--version` exits 0 with the version the package is named after, and nothing else.
add_test(NAME cli_version COMMAND sh -c
    "out=$(\"$0\" --version) && test \"$out\" = \"vantrel-cli ${PROJECT_VERSION}\""
    $<TARGET_FILE:vantrel-cli>)
vantrel_core_test(jpeg_cli_tests cli/JpegCliTest.cpp)
vantrel_core_test(steghide_cli_tests cli/SteghideCliTest.cpp)
vantrel_core_test(structure_cli_tests cli/StructureCliTest.cpp)
