# MP3Decode on arbitrary bytes, in both core-library configurations (the desktop one adds the
# half- and quarter-rate synthesis).
orv_fuzz_target(NAME mp3dec CONFIG device SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3dec_fuzz.cpp
                CORPUS tests/fuzz/corpus/mp3dec)
orv_fuzz_target(NAME mp3dec_desktop CONFIG desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3dec_fuzz.cpp
                CORPUS tests/fuzz/corpus/mp3dec)
