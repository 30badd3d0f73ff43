orv_fuzz_target(NAME aiff CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/aiff_fuzz.cpp
                CORPUS tests/fuzz/corpus/aiff)
