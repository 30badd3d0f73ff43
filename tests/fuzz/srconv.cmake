orv_fuzz_target(NAME srconv CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/srconv_fuzz.cpp
                CORPUS tests/fuzz/corpus/srconv)
