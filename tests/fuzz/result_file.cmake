foreach(cfg device desktop)
    orv_fuzz_target(NAME result_file_${cfg} CONFIG ${cfg}
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/result_file_fuzz.cpp
                    CORPUS tests/fuzz/corpus/result_file)
endforeach()
