orv_core_bench(NAME bench_srconv SOURCES ${CMAKE_CURRENT_LIST_DIR}/srconv_bench.cpp)

# The file converter that bench/srconv_vs_sox.py times against sox.
add_executable(srconv_file ${CMAKE_CURRENT_LIST_DIR}/srconv_file.cpp)
target_link_libraries(srconv_file PRIVATE orvcore_device)
set_target_properties(srconv_file PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORV_BENCH_DIR})
