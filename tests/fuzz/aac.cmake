orv_fuzz_target(NAME aac CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/aac_fuzz.cpp
                CORPUS tests/fuzz/corpus/aac)
