orv_fuzz_target(NAME wav CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/wav_fuzz.cpp
                CORPUS tests/fuzz/corpus/wav)
