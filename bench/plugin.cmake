# The method editor: loading a 200-step template with all its checks, and check_method over
# its steps.
if(TARGET zor_plugin)
  zor_bench(bench_plugin
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_plugin.cpp ${ZORSETUP_HOOK_BODIES}
    LIBS zor_plugin)
  if(TARGET bench_plugin)
    target_compile_definitions(bench_plugin PRIVATE ZOR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
  endif()
endif()
