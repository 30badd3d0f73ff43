# Target helpers: one place decides where programs land, how tests and benchmarks are
# registered, and how the core library's two configurations are told apart.

set(ORV_CORE_CONFIGS device desktop)

find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(Threads REQUIRED)

# A program of the unit (deckhost, trackscan, padbridge...): lands in bin/.
function(orv_program name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORV_BIN_DIR})
endfunction()

# A developer tool that is not part of the unit: lands in tools/.
function(orv_tool name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORV_TOOLS_DIR})
endfunction()

# The CTest label of a core-library module folder.
function(orv_core_label module out)
    if(module MATCHES "^(orvsys|orvmath|fft|biquad|srconv|resampler|turntable|eq)$")
        set(${out} dsp PARENT_SCOPE)
    elseif(module MATCHES "^(codecs|fileformat|decoder|mp3|aac|wav|flac)")
        set(${out} codec PARENT_SCOPE)
    elseif(module MATCHES "^(songanalysis|beattracker|replaygain|circbuff)")
        set(${out} analysis PARENT_SCOPE)
    else()
        set(${out} core PARENT_SCOPE)
    endif()
endfunction()

# A GoogleTest program registered with CTest as one test.
#   orv_test(NAME name LABELS l... LIBS lib... SOURCES src... [ENV var=value...] [TIMEOUT s])
function(orv_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;LIBS;SOURCES;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${T_NAME} PRIVATE ORV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                  ORV_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORV_TEST_DIR})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                                              ENVIRONMENT "${T_ENV}")
endfunction()

# A core-library test, built and run once per configuration (name_device, name_desktop).
function(orv_core_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;LIBS;SOURCES;ENV" ${ARGN})
    foreach(cfg IN LISTS ORV_CORE_CONFIGS)
        orv_test(NAME ${T_NAME}_${cfg} LABELS ${T_LABELS} ${cfg} LIBS orvcore_${cfg} ${T_LIBS}
                 SOURCES ${T_SOURCES} ENV ${T_ENV} TIMEOUT ${T_TIMEOUT})
    endforeach()
endfunction()

# A Google Benchmark program (built only when the library is installed).
#   orv_bench(NAME name LIBS lib... SOURCES src...)
function(orv_bench)
    cmake_parse_arguments(B "" "NAME" "LIBS;SOURCES" ${ARGN})
    if(NOT benchmark_FOUND)
        return()
    endif()
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
    set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORV_BENCH_DIR})
    # A one-iteration smoke run keeps benchmarks building and running; timings are read by hand.
    add_test(NAME ${B_NAME}_smoke COMMAND ${B_NAME} --benchmark_min_time=0.0001)
    set_tests_properties(${B_NAME}_smoke PROPERTIES LABELS bench-smoke TIMEOUT 600)
endfunction()

# A core-library benchmark, one program per configuration.
function(orv_core_bench)
    cmake_parse_arguments(B "" "NAME" "LIBS;SOURCES" ${ARGN})
    foreach(cfg IN LISTS ORV_CORE_CONFIGS)
        orv_bench(NAME ${B_NAME}_${cfg} LIBS orvcore_${cfg} ${B_LIBS} SOURCES ${B_SOURCES})
    endforeach()
endfunction()

# A fuzz target: a file defining LLVMFuzzerTestOneInput. Under the clang `fuzz` preset it
# links libFuzzer and CTest runs it for ORV_FUZZ_SECONDS; under g++ it links a replay main
# and CTest feeds it every file of its corpus folders, so the corpora run under the sanitizers.
#   orv_fuzz_target(NAME name CONFIG device|desktop LIBS lib... SOURCES src... CORPUS dir...)
set(ORV_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz target runs under the fuzz preset")
function(orv_fuzz_target)
    cmake_parse_arguments(F "" "NAME;CONFIG" "LIBS;SOURCES;CORPUS" ${ARGN})
    set(target fuzz_${F_NAME})
    add_executable(${target} ${F_SOURCES})
    set(libs ${F_LIBS})
    if(F_CONFIG)
        list(APPEND libs orvcore_${F_CONFIG})
    endif()
    target_link_libraries(${target} PRIVATE ${libs})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    set(dirs)
    foreach(dir IN LISTS F_CORPUS)
        if(IS_ABSOLUTE ${dir})
            list(APPEND dirs ${dir})
        else()
            list(APPEND dirs ${PROJECT_SOURCE_DIR}/${dir})
        endif()
    endforeach()
    if(ORV_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
        target_link_options(${target} PRIVATE -fsanitize=fuzzer)
        set(work ${CMAKE_BINARY_DIR}/fuzz/corpus_${F_NAME})
        add_test(NAME ${target}
                 COMMAND ${CMAKE_COMMAND} -E env ${PROJECT_SOURCE_DIR}/tests/fuzz/run_fuzzer.sh
                         $<TARGET_FILE:${target}> ${ORV_FUZZ_SECONDS} ${work} ${dirs})
        math(EXPR limit "${ORV_FUZZ_SECONDS} + 120")
        set_tests_properties(${target} PROPERTIES LABELS fuzz TIMEOUT ${limit})
    else()
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
        add_test(NAME ${target}_replay COMMAND ${target} ${dirs})
        set_tests_properties(${target}_replay PROPERTIES LABELS fuzz-replay TIMEOUT 600)
    endif()
endfunction()
