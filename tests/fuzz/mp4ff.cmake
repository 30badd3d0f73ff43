orv_fuzz_target(NAME mp4ff CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp4ff_fuzz.cpp
                CORPUS tests/fuzz/corpus/mp4ff tests/fuzz/corpus/m4a)
