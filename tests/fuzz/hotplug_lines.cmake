orv_fuzz_target(NAME hotplug_lines LIBS sys SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotplug_lines_fuzz.cpp
                CORPUS tests/fuzz/corpus/hotplug_lines)
