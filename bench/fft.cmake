orv_core_bench(NAME bench_fft SOURCES ${CMAKE_CURRENT_LIST_DIR}/fft_bench.cpp)
