# AAC decoder: ADTS and ADIF streams and raw blocks, in both configurations (forced mono only
# acts in the desktop one).
orv_fuzz_target(NAME aacdec_device CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/aacdec_fuzz.cpp
                CORPUS tests/fuzz/corpus/aacdec)
orv_fuzz_target(NAME aacdec_desktop CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/aacdec_fuzz.cpp
                CORPUS tests/fuzz/corpus/aacdec)
