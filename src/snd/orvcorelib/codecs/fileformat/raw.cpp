#include "codecs/fileformat/raw.h"

#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmconvert.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr s32 kRawChannels = 2;
constexpr s32 kRawSampleRate = 44100;
constexpr size_t kRawFrameBytes = kRawChannels * sizeof(audio16);

} // namespace

decoder_error raw_Open(decoder_struct *d, const char *fileName) {
    auto *c = new (std::nothrow) raw_container{};
    if (c == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    c->fd = fileCallback.open(fileName, "rb");
    if (c->fd == nullptr) {
        delete c;
        return DECODER_ERROR_OPENFILEFAILED;
    }
    d->numChannels = kRawChannels;
    d->sampleRate = kRawSampleRate;
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

decoder_error raw_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<raw_container *>(d->fileformatHandle);
    const size_t frames = static_cast<size_t>(std::max<s32>(*outSize, 0));
    *outSize = 0;
    if (frames == 0) return DECODER_ERROR_NOERROR;
    // The bytes land in the output and are turned into samples where they lie.
    auto *bytes = reinterpret_cast<u8 *>(out);
    const size_t got = fileCallback.read(bytes, 1, frames * kRawFrameBytes, c->fd);
    const size_t whole = got / kRawFrameBytes;
    for (size_t i = 0; i < whole * kRawChannels; ++i) {
        audio16 sample;
        pcm_16to16(bytes + 2 * i, &sample, 1);
        out[i] = sample;
    }
    *outSize = static_cast<s32>(whole);
    if (got == frames * kRawFrameBytes) return DECODER_ERROR_NOERROR;
    return std::ferror(c->fd) ? DECODER_ERROR_READERROR : DECODER_ERROR_ENDOFFILE;
}

decoder_error raw_Close(decoder_struct *d) {
    auto *c = static_cast<raw_container *>(d->fileformatHandle);
    if (c != nullptr) {
        if (c->fd != nullptr) fileCallback.close(c->fd);
        delete c;
    }
    d->fileformatHandle = nullptr;
    return DECODER_ERROR_NOERROR;
}
