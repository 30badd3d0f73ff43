orv_core_bench(NAME bench_beattracker SOURCES ${CMAKE_CURRENT_LIST_DIR}/beattracker_bench.cpp)
