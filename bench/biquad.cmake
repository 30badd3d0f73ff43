orv_core_bench(NAME bench_biquad SOURCES ${CMAKE_CURRENT_LIST_DIR}/biquad_bench.cpp)
