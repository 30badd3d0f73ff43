// The ADTS/ADIF AAC stream reader through the decoder front end: open, read and seek converted
// to 11025 Hz; a build-seek-table scan and a decode with one decoded channel (desktop build)
// that seeks through the table it wrote.
#include "codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.aac", data, size);
    codecfuzz::exercise(path, 11025, false, 77);
    codecfuzz::exerciseWithSeektable(path, 22050, DECODER_QUALITY_MONO);
    return 0;
}
