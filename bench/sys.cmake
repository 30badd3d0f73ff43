orv_bench(NAME bench_sys LIBS sys SOURCES ${CMAKE_CURRENT_LIST_DIR}/sys_bench.cpp)
