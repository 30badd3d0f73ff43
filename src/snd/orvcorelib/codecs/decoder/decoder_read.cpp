// Reading samples, requesting seeks and asking the position.
#include "codecs/decoder/decoder.h"

#include "codecs/decoder/decoder_readers.h"
#include "orvsys/debugmsg.h"
#include "srconv/srconv.h"

#include <algorithm>
#include <limits>

namespace {

// The rate divisor of the reader's output: 2 or 4 while an MP3 stream decodes at half or
// quarter quality (the only reader that accepts them). Seek positions stay in frames at the
// file's own rate, whichever quality is in force.
s32 rateDivisor(const decoder_struct *d) {
    switch (d->decoderQuality) {
    case DECODER_QUALITY_HALF:
        return 2;
    case DECODER_QUALITY_QUATER:
        return 4;
    default:
        return 1;
    }
}

// Input frames one output frame's filter reaches: the whole window before its position.
s64 filterWindow(const srconv_struct *s) {
    return 2 * static_cast<s64>(srconv_getInDelay(s)) - 1;
}

// Sets the converter's read position so that its next output is filtered at `phase` (Q12)
// over the window of frames appended from now on. This is where a decode from the start would
// stand at the seek target, so the outputs after a seek equal that decode's, frame for frame.
void restartConverter(srconv_struct *s, u32 phase) {
    srconv_handle &h = *s->srconvHandle;
    const u32 halfTaps = srconv_getInDelay(s) - 1;
    h.readOffset = ((h.writOffset + halfTaps) << 12) | (phase & 0xFFF);
}

// Starts a pending seek with conversion: the reader goes back by the filter's window (frames
// before the start of the file are zeros) and the converter restarts at the target's phase.
// Returns the input frames the first outputs need: *zeros of them are silence.
s64 startConvertedSeek(decoder_struct *d, s32 asked, s64 *zeros) {
    srconv_struct *s = d->srconvHandle;
    const s64 window = filterWindow(s);
    const s64 target = d->seekPosition / rateDivisor(d);
    *zeros = std::max<s64>(window - target, 0);
    d->seekPosition = static_cast<s32>(std::max<s64>(target - window, 0) * rateDivisor(d));
    restartConverter(s, d->seekPhase);
    // Enough for `asked` outputs and the one after, which keeps every later request whole.
    const u64 ahead =
        (static_cast<u64>(d->seekPhase) + static_cast<u64>(asked) * s->srconvHandle->step) >> 12;
    return window + static_cast<s64>(ahead);
}

// Decodes at the file's rate into the converter's input buffer and converts into out.
decoder_error readConverted(decoder_struct *d, audio16 *out, s32 asked, s32 *delivered, s32 *decodedOut) {
    srconv_struct *s = d->srconvHandle;
    const s32 channels = d->numChannels;
    s64 zeros = 0;
    s64 needed = d->seekPosition >= 0 ? startConvertedSeek(d, asked, &zeros)
                                      : static_cast<s64>(srconv_getInSize(s, static_cast<u32>(asked)));
    needed = std::min<s64>(needed, s->maxInputBlockSize);
    zeros = std::min(zeros, needed);
    std::fill_n(s->tempBuffer, static_cast<size_t>(zeros) * channels, audio16{0});
    s32 decoded = static_cast<s32>(needed - zeros);
    const decoder_error result =
        orv::readers::decode(d, s->tempBuffer + static_cast<size_t>(zeros) * channels, &decoded);
    decoded = std::clamp<s32>(decoded, 0, static_cast<s32>(needed - zeros));
    *decodedOut = decoded;
    u32 produced = static_cast<u32>(asked);
    srconv_process(s, s->tempBuffer, static_cast<s32>(zeros) + decoded, out, &produced);
    *delivered = static_cast<s32>(produced);
    return result;
}

// Mono to two channels in place, from the last frame down so that nothing is overwritten
// before it is read.
void spreadMono(audio16 *out, s32 frames) {
    for (s32 i = frames - 1; i >= 0; --i) {
        const audio16 sample = out[i];
        out[2 * i] = sample;
        out[2 * i + 1] = sample;
    }
}

void copyLeftToRight(audio16 *out, s32 frames) {
    for (s32 i = 0; i < frames; ++i) out[2 * i + 1] = out[2 * i];
}

} // namespace

decoder_error decoder_getSample(decoder_struct *d, audio16 *pOut, s32 *outSize) {
    if (d->isOpened == 0) {
        *outSize = 0;
        return d->lastError = DECODER_ERROR_NOTOPENED;
    }
    const s32 asked = std::clamp<s32>(*outSize, 0, static_cast<s32>(d->maxFrameSize));
    *outSize = 0;
    if (asked == 0) return DECODER_ERROR_NOERROR;

    const bool convert = d->sampleRate / rateDivisor(d) != d->outputSampleRate && d->srconvHandle != nullptr;
    s32 delivered = asked;
    s32 decoded = asked;
    decoder_error result;
    if (convert) {
        result = readConverted(d, pOut, asked, &delivered, &decoded);
    } else {
        result = orv::readers::decode(d, pOut, &delivered);
        delivered = std::clamp(delivered, 0, asked);
        decoded = delivered;
    }

    if (d->forceStereo != 0 && d->numChannels == 1) {
        spreadMono(pOut, delivered);
    } else if (d->forceStereo != 0 && d->decoderQuality == DECODER_QUALITY_MONO) {
        copyLeftToRight(pOut, delivered);
    }
    if (delivered != asked && d->mode != DECODER_MODE_BUILDSEEK) {
        const s32 inSize =
            convert ? static_cast<s32>(srconv_getInSize(d->srconvHandle, static_cast<u32>(asked))) : asked;
        debugmsg("\ndecoder_getSample() size inconsistent %d %d %d %d", asked, delivered, inSize, decoded);
    }
    *outSize = delivered;
    return result;
}

decoder_error decoder_setSampleOffset(decoder_struct *d, s64 sampleIndex) {
    if (d->isOpened == 0) return d->lastError = DECODER_ERROR_NOTOPENED;
    if (sampleIndex < 0) return DECODER_ERROR_NOERROR;
    if (d->seekStatus == DECODER_SEEK_NOTSEEKABLE) return d->lastError = DECODER_ERROR_NOTSEEKABLE;
    // Positions past any playable file; below this the products stay within 64 bits.
    constexpr s64 kLargestIndex = s64{1} << 40;
    if (sampleIndex > kLargestIndex) return d->lastError = DECODER_ERROR_OUTOFRANGE;
    s64 position = sampleIndex;
    u32 phase = 0;
    const bool convert = d->srconvHandle != nullptr && d->sampleRate / rateDivisor(d) != d->outputSampleRate;
    if (convert) {
        // The converter advances `step` (Q12) input frames per output frame.
        const u64 at = static_cast<u64>(sampleIndex) * d->srconvHandle->srconvHandle->step;
        position = static_cast<s64>(at >> 12) * rateDivisor(d);
        phase = static_cast<u32>(at & 0xFFF);
    } else if (d->sampleRate != d->outputSampleRate) {
        position = sampleIndex * d->sampleRate / d->outputSampleRate;
    }
    if (position > std::numeric_limits<s32>::max()) return d->lastError = DECODER_ERROR_OUTOFRANGE;
    d->seekPosition = static_cast<s32>(position);
    d->seekPhase = phase;
    return d->lastError = DECODER_ERROR_NOERROR;
}

s32 decoder_getSampleOffset(decoder_struct *d) {
    if (d->lastError != DECODER_ERROR_NOERROR) return 0;
    if (d->isOpened == 0) return -1;
    s32 position = 0;
    const decoder_error e = orv::readers::getSampleOffset(d, &position);
    d->lastError = e;
    return e == DECODER_ERROR_NOERROR ? position : 0;
}
