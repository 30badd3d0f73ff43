orv_core_bench(NAME bench_motion SOURCES ${CMAKE_CURRENT_LIST_DIR}/motion_bench.cpp)
