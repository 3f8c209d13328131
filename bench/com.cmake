# Session bus: IIZor round trips against the test server (built with the tests).
if(ZOR_BUILD_BENCH AND TARGET com_test_server)
  zor_bench(bench_com SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_com.cpp LIBS zor_izor)
  target_compile_definitions(bench_com PRIVATE COM_TEST_SERVER_PATH="$<TARGET_FILE:com_test_server>")
  add_dependencies(bench_com com_test_server)
endif()
