foreach(cfg device desktop)
    orv_fuzz_target(NAME beattracker_stages_${cfg} CONFIG ${cfg}
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/beattracker_stages_fuzz.cpp
                    CORPUS tests/fuzz/corpus/beattracker_stages)
endforeach()
