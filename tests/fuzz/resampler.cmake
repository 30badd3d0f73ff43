orv_fuzz_target(NAME resampler CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/resampler_fuzz.cpp
                CORPUS tests/fuzz/corpus/resampler)
