// The MP3 stream reader through the decoder front end: open, read and seek at the file's rate,
// converted and (desktop) at half and quarter rate; a build-seek-table scan and a decode that
// seeks through the table it wrote.
#include "codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.mp3", data, size);
    codecfuzz::exercise(path, 44100, true, 2048);
    codecfuzz::exercise(path, 11025, false, 77);
    codecfuzz::exerciseWithSeektable(path, 22050, DECODER_QUALITY_HALF);
    return 0;
}
