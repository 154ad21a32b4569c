# Not vantrel_benchmark: this program needs only the password readers (and the readers of the
# covers' bytes, which a benchmark may run in its own process, or the decoder process's pixels).
add_executable(bench_passwords passwords/PasswordsBench.cpp)
target_link_libraries(bench_passwords PRIVATE vantrel_passwords vantrel_passwords_client
    vantrel_passwords_reader vantrel_jpeg_reader benchmark::benchmark)
target_include_directories(bench_passwords PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
# The stegosuite cover comes through the decoder process.
add_dependencies(bench_passwords vantrel-decoder)
target_compile_definitions(bench_passwords PRIVATE
    VANTREL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
