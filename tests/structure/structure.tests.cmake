# The structure walk: planted cases and clean files of every format, truncations, bombs, loops.
add_executable(structure_dump structure/StructureDump.cpp)
target_link_libraries(structure_dump PRIVATE vantrel_structure)
