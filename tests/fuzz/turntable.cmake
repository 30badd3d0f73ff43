orv_fuzz_target(NAME turntable CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/turntable_fuzz.cpp
                CORPUS tests/fuzz/corpus/turntable)
