# Shell controls: filling the shell list from a large folder.
zor_bench(bench_shellctl SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_shellctl.cpp LIBS zor_shellctl)
