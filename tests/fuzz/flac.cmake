orv_fuzz_target(NAME flac CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_fuzz.cpp
                CORPUS tests/fuzz/corpus/flac)
