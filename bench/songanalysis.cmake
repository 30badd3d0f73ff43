orv_core_bench(NAME bench_songanalysis SOURCES ${CMAKE_CURRENT_LIST_DIR}/songanalysis_bench.cpp)
