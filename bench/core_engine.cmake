# The configuration and method engine: reading a configuration that fills the model, expanding
# a 100-step method into 1000 atom lines, and their command texts.
zor_bench(bench_core_engine
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_core_engine.cpp
  LIBS zor_core)
