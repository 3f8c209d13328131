# The run-time driver: its own time per method step in a whole run against the simulator.
if(TARGET zorrun_lib AND TARGET zorsim)
  zor_bench(bench_driver
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_driver.cpp ${ZORRUN_HOOK_BODIES}
            ${PROJECT_SOURCE_DIR}/driver/zorrun/tests/support/compound_writer.cpp
    LIBS zorrun_lib)
  if(TARGET bench_driver)
    add_dependencies(bench_driver zorsim)
    target_compile_definitions(bench_driver PRIVATE
      ZORSIM_PATH="$<TARGET_FILE:zorsim>"
      ZOR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
  endif()
endif()
