# The structure walk: planted cases and clean files of every format, truncations, bombs, loops.
add_executable(structure_dump structure/StructureDump.cpp)
target_link_libraries(structure_dump PRIVATE vantrel_structure)

add_executable(structure_tests structure/StructureTest.cpp)
target_link_libraries(structure_tests PRIVATE vantrel_structure GTest::gtest GTest::gtest_main)
target_compile_definitions(structure_tests PRIVATE VANTREL_TEST_DATA="${VANTREL_TEST_DATA}")
add_test(NAME structure_tests COMMAND structure_tests)

# The JSON object is valid JSON of the shape the command line promises, read by another parser.
add_test(NAME structure_json COMMAND sh -c "$<TARGET_FILE:structure_dump> --json \
    ${VANTREL_TEST_DATA}/structure/appended-zip.png ${VANTREL_TEST_DATA}/structure/cut-stale.png | \
    python3 -c \"import json, sys
objects = [json.loads(line) for line in sys.stdin if line.strip()]
assert [o['format'] for o in objects] == ['png', 'png']
assert set(objects[0]) == {'file', 'size', 'format', 'end', 'parts', 'anomalies', 'texts', 'carved', 'info'}
assert objects[0]['carved'][0]['type'] == 'zip' and objects[0]['end'] == 1220
assert objects[1]['info']['ihdr_true_size'] == [24, 16]\"")

# The window on planted files, against the command line's own report.
vantrel_ui_test(structure_ui_tests structure/StructureWindowTest.cpp)
target_link_libraries(structure_ui_tests PRIVATE vantrel_structure_ui)
add_dependencies(structure_ui_tests vantrel-decoder)
