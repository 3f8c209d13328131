# The method editor: loading a 200-step template with all its checks, check_method over its
# steps, the host's documents, and printing a 10-page method into a PDF file (with Qt).
if(TARGET zor_plugin)
  zor_bench(bench_plugin
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_plugin.cpp ${ZORSETUP_HOOK_BODIES}
    LIBS zor_plugin)
  if(TARGET bench_plugin)
    target_compile_definitions(bench_plugin PRIVATE ZOR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
    # Printing into a PDF file, where the Qt backend is built.
    if(ZOR_HAVE_QT)
      target_link_libraries(bench_plugin PRIVATE zor_platform_forms_qt)
      target_compile_definitions(bench_plugin PRIVATE ZOR_BENCH_PDF)
    endif()
  endif()
endif()
