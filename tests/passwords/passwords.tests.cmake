add_executable(passwords_tests passwords/PasswordsTest.cpp)
target_link_libraries(passwords_tests PRIVATE vantrel_passwords vantrel_passwords_reader
    vantrel_jpeg_reader GTest::gtest_main)
target_include_directories(passwords_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(passwords_tests PRIVATE VANTREL_TEST_DATA="${VANTREL_TEST_DATA}")
add_test(NAME passwords_tests COMMAND passwords_tests)
vantrel_core_test(passwords_cli_tests passwords/PasswordsCliTest.cpp)
add_dependencies(passwords_cli_tests vantrel-decoder)
