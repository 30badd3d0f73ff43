orv_fuzz_target(NAME trackscan_answer LIBS bgn SOURCES ${CMAKE_CURRENT_LIST_DIR}/trackscan_answer_fuzz.cpp
                CORPUS tests/fuzz/corpus/trackscan_answer)
