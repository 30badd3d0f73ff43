foreach(cfg device desktop)
    orv_fuzz_target(NAME grid_edits_${cfg} CONFIG ${cfg}
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/grid_edits_fuzz.cpp
                    CORPUS tests/fuzz/corpus/grid_edits)
endforeach()
