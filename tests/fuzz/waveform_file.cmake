foreach(cfg device desktop)
    orv_fuzz_target(NAME waveform_file_${cfg} CONFIG ${cfg}
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/waveform_file_fuzz.cpp
                    CORPUS tests/fuzz/corpus/waveform_file)
endforeach()
