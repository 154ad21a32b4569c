vantrel_core_test(cli_tests cli/CliTest.cpp)
target_compile_definitions(cli_tests PRIVATE VANTREL_CLI="$<TARGET_FILE:vantrel-cli>")
add_dependencies(cli_tests vantrel-cli)
