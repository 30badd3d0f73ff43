# trackscan's command-line part is compiled in here: the fuzz build has no programs.
set(_trackscan_source ${PROJECT_SOURCE_DIR}/package/apps/trackscan/source)
orv_fuzz_target(NAME trackscan_options CONFIG desktop
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/trackscan_options_fuzz.cpp ${_trackscan_source}/trackscan_options.cpp
                        ${_trackscan_source}/trackscan_paths.cpp
                CORPUS tests/fuzz/corpus/trackscan_options)
target_include_directories(fuzz_trackscan_options PRIVATE ${_trackscan_source})
