// The seek-table file: read back as a song's table, looked up at many positions, recorded into
// and written out again. A table that is read must only ever give offsets inside the frames it
// describes, and what it writes must read back the same.
#include "codec_fuzz_support.h"
#include "codecs/fileformat/seektable.h"

#include <cstring>

namespace {

u32 le32(const uint8_t *p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}

// The sum of every stored length from the first frame on bounds every offset a lookup gives.
s64 lastOffset(const seektable_struct *t) {
    s64 end = t->firstFrameOffset;
    for (const seektable_trunk *k = t->trunkArray; k != nullptr; k = k->nextTrunk)
        for (s32 b = 0; b < k->blockIndex; ++b)
            for (u16 length : k->blockArray[b].element) end += length;
    return end;
}

void lookUp(seektable_struct *t, const uint8_t *data, size_t size) {
    const s64 end = lastOffset(t);
    for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
        s32 position = static_cast<s32>(le32(data + i) & 0x7FFFFFFF);
        s32 skip = data[i] % 16;
        const s32 offset = seektable_getFilePosition(t, &position, &skip);
        codecfuzz::check(offset == -1 || (offset >= t->firstFrameOffset && offset <= end));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = codecfuzz::scratchFile("input.sek", data, size);
    decoder_struct *d = decoder_new(44100, 1, 2048);
    d->sampleRate = 44100;
    d->numChannels = 2;
    // The stored frame size and first offset, so that a well-formed table is taken.
    d->audioFrameSize = size >= 16 ? static_cast<s32>(le32(data + 12)) : 2304;
    const s32 firstOffset = size >= 8 ? static_cast<s32>(le32(data + 4)) : 0;
    seektable_struct *t = initializeSeektable(d, path.c_str(), firstOffset);
    if (t != nullptr) {
        lookUp(t, data, size);
        for (size_t i = 0; i < 20 && i < size; ++i) seektable_addElement(t, data[i] * 7);
        lookUp(t, data, size);
        const std::string copy = codecfuzz::scratchFile("copy.sek", nullptr, 0);
        FILE *f = std::fopen(copy.c_str(), "wb");
        const bool written = seektable_writeToFile(t, f, 0) == 0;
        std::fclose(f);
        if (written && t->firstFrameOffset >= 0 && t->numAudioFrames % 6 == 0 && lastOffset(t) <= INT32_MAX) {
            f = std::fopen(copy.c_str(), "rb");
            seektable_struct *back = seektable_createFromFile(SEEKTABLE_MODE_APPEND, f, t->audioFrameSize);
            std::fclose(f);
            codecfuzz::check(back != nullptr && back->numAudioFrames == t->numAudioFrames);
            seektable_destroy(back);
        }
    }
    finalizeSeektable(d, t);
    decoder_destroy(d);
    return 0;
}
