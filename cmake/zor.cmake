# Project-wide build helpers.

# Warnings are errors everywhere in our own code.
set(ZOR_WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers)

# zor_library(NAME [STATIC|SHARED] SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# The library's include root is the repository root, so headers are included as
# "platform/window/window.h", "utilities/text.h", "core/framed_link.h".
function(zor_library name)
  cmake_parse_arguments(A "SHARED" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZOR_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
endfunction()

# zor_test(NAME SOURCES ... LIBS ... [LABELS unit|e2e threaded ...] [TIMEOUT s] [ENVIRONMENT VAR=value])
# One GoogleTest executable; its cases are registered with CTest one by one.
# Label "threaded" marks the suites that also run under ThreadSanitizer.
function(zor_test name)
  if(NOT ZOR_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "TIMEOUT;ENVIRONMENT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ZOR_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  # Test discovery splits a list-valued property into arguments, so several labels travel
  # as one label joined by ","; ctest -L matches by regular expression, so "-L threaded"
  # still finds "unit,threaded".
  string(REPLACE ";" "," labels "${A_LABELS}")
  set(environment)
  if(A_ENVIRONMENT)
    set(environment ENVIRONMENT "${A_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${labels}" TIMEOUT ${A_TIMEOUT} ${environment}
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# zor_bench(NAME SOURCES ... LIBS ...): a Google Benchmark executable, not run by CTest.
function(zor_bench name)
  if(NOT ZOR_BUILD_BENCH)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ZOR_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# zor_fuzz(NAME SOURCES ... LIBS ... CORPUS dir): a libFuzzer target, built under the fuzz preset.
function(zor_fuzz name)
  if(NOT ZOR_BUILD_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ZOR_WARNINGS} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  add_dependencies(zor_fuzz_all ${name})
  # scripts/test finds every target and its seed corpus through these files.
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz_targets/${name} CONTENT
       "$<TARGET_FILE:${name}>\n${CMAKE_CURRENT_SOURCE_DIR}/${A_CORPUS}\n")
endfunction()

# The environment of every test that runs Qt: under ThreadSanitizer, the races inside Qt's own
# worker threads are suppressed (cmake/tsan-qt.supp says why), nothing else.
set(ZOR_QT_TEST_ENVIRONMENT "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan-qt.supp")

# zor_qt_test(NAME SOURCES ... LIBS ...): a test that runs Qt (offscreen); it runs under the
# ThreadSanitizer preset too. Nothing is built without Qt.
function(zor_qt_test name)
  if(NOT ZOR_BUILD_TESTS OR NOT ZOR_HAVE_QT)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  zor_test(${name} SOURCES ${A_SOURCES} LIBS zor_forms_qt_testing ${A_LIBS} LABELS unit threaded
           ENVIRONMENT "${ZOR_QT_TEST_ENVIRONMENT}")
endfunction()

# zor_snapshot_test(NAME SOURCES ... LIBS ... [SNAPSHOTS dir]): a Qt test that renders forms with
# the Qt backend and compares them with golden PNGs (platform/forms_qt/testing/form_snapshots.h).
# The golden files are in SNAPSHOTS (default: tests/snapshots of the calling folder). Nothing
# is built without Qt.
function(zor_snapshot_test name)
  if(NOT ZOR_BUILD_TESTS OR NOT ZOR_HAVE_QT)
    return()
  endif()
  cmake_parse_arguments(A "" "SNAPSHOTS" "SOURCES;LIBS" ${ARGN})
  if(NOT A_SNAPSHOTS)
    set(A_SNAPSHOTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/snapshots)
  endif()
  zor_qt_test(${name} SOURCES ${A_SOURCES} LIBS ${A_LIBS})
  target_compile_definitions(${name} PRIVATE ZOR_SNAPSHOT_DIR="${A_SNAPSHOTS}")
endfunction()
