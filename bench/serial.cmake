# Serial port layer: throughput and latency on a pseudo-terminal pair, CPU of an idle port.
zor_bench(bench_serial SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_serial.cpp LIBS zor_serial)
