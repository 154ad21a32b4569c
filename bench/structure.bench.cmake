# The structure walk against a decode of the same 24-megapixel file in the same run.
vantrel_benchmark(bench_structure structure/StructureBench.cpp)
target_link_libraries(bench_structure PRIVATE vantrel_structure)
