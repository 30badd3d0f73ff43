// The WAV reader through the decoder front end: open, read and seek, at the file's rate or
// converted, with one or two output channels.
#include "codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.wav", data, size);
    codecfuzz::exercise(path, 44100, true, 2048);
    codecfuzz::exercise(path, 11025, false, 77);
    return 0;
}
