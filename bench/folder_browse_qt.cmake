# The folder-browse dialog on the Qt backend: a person's key to the repainted selection.
if(ZOR_HAVE_QT)
  zor_bench(bench_folder_browse_qt
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_folder_browse_qt.cpp
    LIBS zor_shellctl zor_platform_forms_qt Qt6::Test)
endif()
