# The shell controls: enumerating a large folder with attributes and display names.
zor_bench(bench_shell SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_shell.cpp LIBS zor_shellctl)
