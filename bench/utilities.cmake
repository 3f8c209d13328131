# Settings: one read of an existing value through the read-or-create routine.
zor_bench(bench_utilities
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_utilities.cpp
  LIBS zor_utilities)
