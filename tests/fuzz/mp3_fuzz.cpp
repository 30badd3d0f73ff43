// The MP3 stream reader through the decoder front end: open, read and seek converted to 11025 Hz
// (in the desktop build at a half or a quarter of the rate where it can); a build-seek-table
// scan and a decode at the file's rate that seeks through the table it wrote. Reads stay short:
// the frame decoder is the costly part and has a target of its own.
#include "codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.mp3", data, size);
    codecfuzz::exercise(path, 11025, false, 77);
    codecfuzz::exerciseWithSeektable(path, 44100, DECODER_QUALITY_FULL);
    return 0;
}
