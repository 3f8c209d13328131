# Compound files: opening a method document and reading its "Data" stream, as run preparation does.
zor_bench(bench_storage SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_storage.cpp LIBS zor_platform_storage)
