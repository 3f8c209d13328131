# The Qt drawing backend: opening and painting the largest form offscreen.
if(ZOR_HAVE_QT AND TARGET zorrun_lib)
  zor_bench(bench_forms_qt
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_forms_qt.cpp ${ZORRUN_HOOK_BODIES}
    LIBS zorrun_lib zor_platform_forms_qt)
endif()
