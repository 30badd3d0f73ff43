// The MP4/M4A reader through the decoder front end: open, read and seek at the file's rate and
// converted, and a pass in build-seek-table mode.
#include "codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.m4a", data, size);
    codecfuzz::exercise(path, 44100, true, 2048);
    codecfuzz::exercise(path, 11025, false, 77);
    codecfuzz::exerciseWithSeektable(path, 22050, DECODER_QUALITY_MONO);
    return 0;
}
