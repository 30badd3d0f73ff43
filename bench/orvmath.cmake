orv_core_bench(NAME bench_orvmath SOURCES ${CMAKE_CURRENT_LIST_DIR}/orvmath_bench.cpp)
