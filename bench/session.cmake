# The instrument session on a pseudo-terminal: reply-to-command turnaround, CPU of an idle
# session, a paced method against the simulator.
zor_bench(bench_session
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_session.cpp ${PROJECT_SOURCE_DIR}/core/tests/support/recording_hooks.cpp
  LIBS zor_core)
if(TARGET bench_session AND TARGET zorsim)
  add_dependencies(bench_session zorsim)
  target_compile_definitions(bench_session PRIVATE
    ZORSIM_PATH="$<TARGET_FILE:zorsim>"
    ZOR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
endif()
