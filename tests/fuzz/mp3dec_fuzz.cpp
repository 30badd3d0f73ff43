// Fuzz target: a stream of MP3 frames decoded the way the MP3 reader drives the decoder. The
// first byte picks the down-sample factor, size-only frames and how main data is handed over
// (bit reservoir, caller-given frame sizes, or the whole rest as one frame); the output buffer
// is exactly as large as the largest frame may write, so any overrun is caught.
#include "codecs/mp3dec/mp3dec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    static const int kFactors[4] = {1, 2, 4, 1};
    const int factor = kFactors[flags & 3];
    const bool sizeOnlyOddFrames = (flags & 4) != 0;
    const int mode = (flags >> 3) & 3; // 0 reservoir, 1 caller-given size, 2 whole rest

    std::vector<unsigned char> bytes(data + 1, data + size);
    std::vector<short> out(1152 * 2);
    HMP3Decoder dec = MP3InitDecoder();
    if (!dec) return 0;
    unsigned char *ptr = bytes.data();
    int left = static_cast<int>(bytes.size());
    for (int frame = 0; frame < 64 && left > 0; ++frame) {
        const int sync = MP3FindSyncWord(ptr, left);
        if (sync < 0) break;
        ptr += sync;
        left -= sync;
        int useSize = 0;
        if (mode == 1 && left >= 6) useSize = 2 + ((ptr[4] << 8 | ptr[5]) & 0x7FF);
        if (mode == 2) useSize = 1;
        const char sizeOnly = sizeOnlyOddFrames && (frame & 1);
        const int err = MP3Decode(dec, &ptr, &left, out.data(), useSize, sizeOnly, factor);
        MP3FrameInfo info;
        MP3GetLastFrameInfo(dec, &info);
        if (err == ERR_MP3_INDATA_UNDERFLOW) break;
        if (err <= ERR_MP3_INVALID_FRAMEHEADER && err >= ERR_MP3_INVALID_HUFFCODES && left > 0) {
            ++ptr;
            --left;
        }
    }
    MP3FreeDecoder(dec);
    return 0;
}
