#include "codecs/fileformat/pcmfile.h"

#include "codecs/fileformat/aif.h"
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/wav.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <limits>
#include <new>

namespace orv::pcmfile {

decoder_error check(const Format &f) {
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16 && f.bitsPerSample != 24)
        return DECODER_ERROR_NOTSUPPORTED_BITRATE;
    if (f.channels < 1 || f.channels > 2) return DECODER_ERROR_NOTSUPPORTED_NUMCHANS;
    if (f.sampleRate < 1 || f.sampleRate > kMaxSampleRate) return DECODER_ERROR_NOTSUPPORTED_SAMPLERATE;
    return DECODER_ERROR_NOERROR;
}

s32 bufferFrames(const decoder_struct *d, u32 sampleRate) {
    const s64 out = std::max<s32>(d->outputSampleRate, 1);
    const s64 frames = static_cast<s64>(sampleRate) * d->maxFrameSize / out;
    // The converter asks one frame more than the ratio gives, and after a seek its whole
    // filter's reach (at most 33 frames) on top.
    constexpr s64 kConverterMargin = 34;
    return static_cast<s32>(frames + (static_cast<s64>(sampleRate) == out ? 1 : kConverterMargin));
}

namespace {

// The fields every PCM reader sets at open: channels, rate, bit rate, the exact durations
// (computed in 64 bits), native seeking and no pending seek.
void describe(decoder_struct *d, const Format &f, u64 frames, s64 bitRate) {
    d->numChannels = static_cast<s32>(f.channels);
    d->sampleRate = static_cast<s32>(f.sampleRate);
    d->bitRate = static_cast<s32>(std::clamp<s64>(bitRate, 0, std::numeric_limits<s32>::max()));
    d->averageBitRate = static_cast<float>(d->bitRate);
    d->durationInSamples = d->durationInSamplesExact = frames;
    const u64 ms = frames * 1000 / f.sampleRate;
    d->durationInMs = d->durationInMsExact =
        static_cast<u32>(std::min<u64>(ms, std::numeric_limits<u32>::max()));
    d->seekStatus = DECODER_SEEK_NATIVELY_SEEKABLE;
    d->seekPosition = -1;
}

template <typename Container>
u32 bytesPerSampleOf(const Container &c) {
    return c.nbits / 8;
}

template <typename Container>
u32 bytesPerFrameOf(const Container &c) {
    return c.channels * bytesPerSampleOf(c);
}

// Moves to a pending seek target; refused targets leave the position where it was.
template <typename Container>
decoder_error seekPending(decoder_struct *d, Container &c) {
    if (d->seekPosition < 0) return DECODER_ERROR_NOERROR;
    const s64 target = d->seekPosition;
    const s64 offset = target * bytesPerFrameOf(c);
    d->seekPosition = -1;
    if (offset > c.audioLength || c.audioStartOffset + offset > static_cast<s64>(c.fileLength) ||
        fileCallback.seek(c.fd, c.audioStartOffset + offset, SEEK_SET) != 0)
        return DECODER_ERROR_OUTOFRANGE;
    c.audioOffset = target;
    return DECODER_ERROR_NOERROR;
}

} // namespace

template <typename Container>
decoder_error finishOpen(decoder_struct *d, Container *c, s64 bitRate) {
    const Format format{c->channels, c->samplerate, c->nbits};
    c->bufferSize = bufferFrames(d, c->samplerate);
    c->buffer = new (std::nothrow) u8[static_cast<size_t>(c->bufferSize) * bytesPerFrame(format)];
    if (c->buffer == nullptr) {
        release(c);
        return DECODER_ERROR_OUTOFMEMORY;
    }
    describe(d, format, c->samples, bitRate);
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

template <typename Container>
void release(Container *c) {
    if (c == nullptr) return;
    if (c->fd != nullptr) fileCallback.close(c->fd);
    delete[] c->buffer;
    delete c;
}

template <typename Container>
decoder_error close(decoder_struct *d) {
    release(static_cast<Container *>(d->fileformatHandle));
    d->fileformatHandle = nullptr;
    return DECODER_ERROR_NOERROR;
}

template <typename Container>
decoder_error position(decoder_struct *d, s32 *frame) {
    const auto *c = static_cast<const Container *>(d->fileformatHandle);
    *frame = static_cast<s32>(std::min<s64>(c->audioOffset, INT32_MAX));
    return DECODER_ERROR_NOERROR;
}

template <typename Container>
decoder_error decode(decoder_struct *d, Container &c, audio16 *out, s32 *outSize, bool eofLine) {
    const u32 sampleBytes = bytesPerSampleOf(c);
    const u32 frameBytes = bytesPerFrameOf(c);
    s64 frames = std::clamp<s64>(*outSize, 0, c.bufferSize);
    decoder_error result = seekPending(d, c);

    bool atEnd = false;
    const s64 framesLeft = std::max<s64>(c.audioLength / frameBytes - c.audioOffset, 0);
    if (frames > framesLeft) {
        frames = framesLeft;
        if (eofLine)
            debugmsg("EOF (probably has metadata beyond this point) %d %d\n", static_cast<int>(framesLeft),
                     static_cast<int>(c.audioOffset));
        atEnd = true;
        result = DECODER_ERROR_ENDOFFILE;
    }
    *outSize = 0;
    if (frames == 0 && !atEnd) return result;

    const size_t wanted = static_cast<size_t>(frames) * frameBytes;
    const size_t got = wanted == 0 ? 0 : fileCallback.read(c.buffer, 1, wanted, c.fd);
    if (got == 0) {
        if (atEnd || std::feof(c.fd)) return DECODER_ERROR_ENDOFFILE;
        if (std::ferror(c.fd)) return DECODER_ERROR_READERROR;
        debugmsg("fread returned 0, not end of file, and no error...?\n");
        return DECODER_ERROR_ERROR;
    }
    if (got < wanted || atEnd) {
        // Whatever whole samples arrived are delivered; only whole frames are counted.
        const u32 bytes = c.pcm_decoder(c.buffer, out, static_cast<u32>(got / sampleBytes));
        *outSize = static_cast<s32>(bytes / frameBytes);
        result = got < wanted && std::ferror(c.fd) ? DECODER_ERROR_READERROR : DECODER_ERROR_ENDOFFILE;
    } else {
        c.pcm_decoder(c.buffer, out, static_cast<u32>(frames) * c.channels);
        *outSize = static_cast<s32>(frames);
        d->lastError = result;
    }
    c.audioOffset += *outSize;
    return result;
}

#define ORV_PCMFILE_CONTAINER(Container)                                                                     \
    template decoder_error finishOpen(decoder_struct *, Container *, s64);                                   \
    template void release(Container *);                                                                      \
    template decoder_error close<Container>(decoder_struct *);                                               \
    template decoder_error position<Container>(decoder_struct *, s32 *);                                     \
    template decoder_error decode(decoder_struct *, Container &, audio16 *, s32 *, bool);
ORV_PCMFILE_CONTAINER(wav_container)
ORV_PCMFILE_CONTAINER(aif_container)
#undef ORV_PCMFILE_CONTAINER

} // namespace orv::pcmfile
