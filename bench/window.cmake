# Kernel and window layers: message round trips and throughput, event hand-offs.
zor_bench(bench_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_window.cpp LIBS zor_platform_window)
