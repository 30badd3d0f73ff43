orv_core_bench(NAME bench_chksum SOURCES ${CMAKE_CURRENT_LIST_DIR}/chksum_bench.cpp)
