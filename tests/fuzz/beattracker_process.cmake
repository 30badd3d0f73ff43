foreach(cfg device desktop)
    orv_fuzz_target(NAME beattracker_process_${cfg} CONFIG ${cfg}
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/beattracker_process_fuzz.cpp
                    CORPUS tests/fuzz/corpus/beattracker_process)
endforeach()
