#include "codecs/decoder/decoder_convert.h"

#include "codecs/encoder/encoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr s32 kConvertRate = 44100;
constexpr s32 kConvertChannels = 2;
constexpr u32 kConvertBlock = 2048;
constexpr u32 kWriterBufferSamples = 8192;

struct DecoderDeleter {
    void operator()(decoder_struct *d) const { decoder_destroy(d); }
};
struct EncoderDeleter {
    void operator()(encoder_struct *e) const { encoder_destroy(e); }
};

// Milliseconds to frames at the conversion rate, in 64 bits.
s64 framesOf(s32 ms) {
    return static_cast<s64>(ms) * kConvertRate / 1000;
}

bool seekable(const decoder_struct *d) {
    return d->seekStatus == DECODER_SEEK_SEEKABLE || d->seekStatus == DECODER_SEEK_NATIVELY_SEEKABLE;
}

// Copies `frames` frames from the decoder to the writer; returns the writer's first refusal.
encoder_error copyFrames(decoder_struct *d, encoder_struct *e, audio16 *block, s64 frames) {
    while (frames > 0) {
        s32 n = static_cast<s32>(std::min<s64>(frames, kConvertBlock));
        const decoder_error result = decoder_getSample(d, block, &n);
        if (n > 0) {
            const encoder_error written = encoder_addSamples(e, block, static_cast<u32>(n));
            if (written != ENCODER_ERROR_NOERROR) return written;
        }
        if (result != DECODER_ERROR_NOERROR || n <= 0) break;
        frames -= n;
    }
    return ENCODER_ERROR_NOERROR;
}

} // namespace

decoder_error decoder_convertToWaveFile(const char *inFileName, const char *wavFileName,
                                        const char *sekFileName, s32 startMs, s32 lenMs) {
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<decoder_struct, DecoderDeleter> d(decoder_new(kConvertRate, 1, kConvertBlock));
    std::unique_ptr<encoder_struct, EncoderDeleter> e(
        encoder_new(ENCODER_SAMPLE_FORMAT_INT16, kWriterBufferSamples));
    std::unique_ptr<audio16[]> block(new (std::nothrow) audio16[kConvertBlock * kConvertChannels]);
    if (d == nullptr || e == nullptr || block == nullptr) return DECODER_ERROR_OUTOFMEMORY;

    const decoder_error opened =
        decoder_open(d.get(), inFileName, DECODER_MODE_DECODE, sekFileName, 0, SRC_QUALITY_MID);
    if (opened != DECODER_ERROR_NOERROR) return opened;
    const decoder_error loaded = decoder_loadSeektableFile(d.get(), sekFileName);
    if (!seekable(d.get())) return loaded;
    decoder_setSampleOffset(d.get(), framesOf(startMs));

    const encoder_error created =
        encoder_open(e.get(), wavFileName, kConvertRate, ENCODER_SAMPLE_FORMAT_INT16, kConvertChannels);
    if (created != ENCODER_ERROR_NOERROR) return static_cast<decoder_error>(created);
    const encoder_error copied = copyFrames(d.get(), e.get(), block.get(), framesOf(lenMs));
    encoder_close(e.get());
    decoder_close(d.get());

    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("\nconvert done in %.2f sec\n", elapsed.count());
    return copied != ENCODER_ERROR_NOERROR ? DECODER_ERROR_ERROR : d->lastError;
}
