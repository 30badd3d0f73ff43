orv_fuzz_target(NAME mp3 CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3_fuzz.cpp
                CORPUS tests/fuzz/corpus/mp3)
