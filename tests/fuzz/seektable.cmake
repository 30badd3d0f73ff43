orv_fuzz_target(NAME seektable CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/seektable_fuzz.cpp
                CORPUS tests/fuzz/corpus/seektable)
