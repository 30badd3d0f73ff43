foreach(cfg IN ITEMS device desktop)
    orv_fuzz_target(NAME fft_frame_${cfg} CONFIG ${cfg} SOURCES ${CMAKE_CURRENT_LIST_DIR}/fft_frame_fuzz.cpp
                    CORPUS tests/fuzz/corpus/fft_frame)
endforeach()
