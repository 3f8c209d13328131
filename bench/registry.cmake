# Registry store: the open-read-close cycle of a settings read, writes, batches, the first open.
zor_bench(bench_registry SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_registry.cpp LIBS zor_platform_registry)
