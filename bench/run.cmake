# Zorrun as a real process on a bus of the benchmark's own against zorsim: CPU per atom of a
# whole run, GetStatus against a minimal sd-bus service, the CPU of an idle session.
if(TARGET Zorrun AND TARGET zorsim)
  set(zor_run_support ${PROJECT_SOURCE_DIR}/driver/zorrun/tests/support)
  zor_bench(bench_run
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_run.cpp ${zor_run_support}/private_bus.cpp
            ${zor_run_support}/zorrun_process.cpp ${zor_run_support}/bus_client.cpp
            ${zor_run_support}/compound_writer.cpp
    LIBS zor_utilities zor_platform_registry zor_platform_com PkgConfig::SYSTEMD)
  if(TARGET bench_run)
    add_dependencies(bench_run Zorrun zorsim)
    target_compile_definitions(bench_run PRIVATE
      ZORRUN_PATH="$<TARGET_FILE:Zorrun>"
      ZORSIM_PATH="$<TARGET_FILE:zorsim>"
      ZOR_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
  endif()
endif()
