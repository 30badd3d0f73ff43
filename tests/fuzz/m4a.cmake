orv_fuzz_target(NAME m4a CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/m4a_fuzz.cpp
                CORPUS tests/fuzz/corpus/m4a)
