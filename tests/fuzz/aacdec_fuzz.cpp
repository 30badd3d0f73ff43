// Fuzz target of AACDecode. The first byte picks the input mode and options, the second the
// raw-block sampling rate; the rest is the stream, decoded the way a file reader does it
// (on an error skip one byte and try again).
//   byte 0: bit 0 raw blocks (else ADTS or ADIF, as the data says), bit 1 size only,
//           bit 2 forced mono, bit 3 two channels for raw blocks, bit 4 flush after each frame
#include "codecs/aacdec/aacdec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const unsigned mode = data[0];
    HAACDecoder dec = AACInitDecoder();
    if (!dec) return 0;
    if (mode & 1) {
        static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                                     24000, 22050, 16000, 12000, 11025, 8000};
        AACFrameInfo info{};
        info.nChans = (mode & 8) ? 2 : 1;
        info.sampRateCore = kRates[data[1] % 12];
        info.profile = 1;
        AACSetRawBlockParams(dec, 0, &info);
    }
    // The decoder reads only inside the buffer it is given: a copy of exactly the input.
    std::vector<unsigned char> stream(data + 2, data + size);
    std::vector<short> out(AAC_MAX_NCHANS * AAC_MAX_NSAMPS);
    unsigned char *p = stream.data();
    int left = static_cast<int>(stream.size());
    for (int calls = 0; left > 0 && calls < 4096; calls++) {
        const int err = AACDecode(dec, &p, &left, out.data(), (mode >> 1) & 1, (mode >> 2) & 1);
        if (err) {
            p++;
            left--;
            continue;
        }
        AACFrameInfo info{};
        AACGetLastFrameInfo(dec, &info);
        if (info.outputSamps > AAC_MAX_NCHANS * AAC_MAX_NSAMPS) __builtin_trap();
        if (mode & 16) AACFlushCodec(dec);
    }
    AACFreeDecoder(dec);
    return 0;
}
