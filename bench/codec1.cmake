# Decoding through the front end: frames per second of a 16-bit WAV and a FLAC file at 44100 Hz.
# bench/codec1_vs_flac.py times decodetool against flac -d on the same file in one run.
orv_core_bench(NAME bench_codec1 SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec1_bench.cpp)
