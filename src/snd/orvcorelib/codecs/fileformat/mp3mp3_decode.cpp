// Decoding an MP3 stream frame by frame into the sample ring, with the seek run-in.
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/mp3mp3.h"
#include "codecs/mp3dec/mp3dec.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Frames decoded and discarded before a seek target; the reservoir of the frames before it
// fills from the ones that are only parsed.
constexpr s32 kRunIn = 8;
constexpr s32 kFullyDecodedRunIn = 2;

enum class Step {
    frame,   // a frame was counted
    skipped, // bytes were passed over, or a frame that does not fit the file was dropped
    end,     // no more frames
    corrupt, // the stream cannot be decoded on
};

HMP3Decoder handleOf(const decoder_struct *d) {
    return static_cast<HMP3Decoder>(d->decoderHandle);
}

// How the next frame is decoded: parsed only, or decoded with a factor, counted or not.
struct FramePlan {
    bool sizeOnly;
    int factor;
    bool keep; // its samples join the ring
};

FramePlan planFrame(const decoder_struct *d, const mp3fileformat_t *c) {
    const bool build = d->mode == DECODER_MODE_BUILDSEEK;
    const s32 runIn = c->cursor.runInLeft;
    if (runIn > kFullyDecodedRunIn) return {true, c->downSampleFactor, false};
    // The older of the two warm-up frames only has to run the inverse transform: at factor 4
    // its synthesis costs least (and nothing at all on the unit).
    if (runIn == kFullyDecodedRunIn) return {false, 4, false};
    if (runIn == 1) return {false, c->downSampleFactor, false};
    return {build, c->downSampleFactor, !build};
}

// The running estimates a good frame updates: bit rate, its mean, and the length from them.
void updateEstimates(decoder_struct *d, const mp3fileformat_t *c, const MP3FrameInfo &info, s32 frameBytes) {
    const float frameMs = 1000.0f * static_cast<float>(info.outputSamps) / static_cast<float>(info.nChans) /
                          static_cast<float>(info.samprate);
    s32 bitRate = info.bitrate;
    if (bitRate == 0 && frameMs > 0.0f)
        bitRate = static_cast<s32>(std::min(static_cast<float>(frameBytes) * 8000.0f / frameMs, 2.0e9f));
    d->bitRate = bitRate;
    const float n = static_cast<float>(std::max(c->numFrames, 1));
    d->averageBitRate = (static_cast<float>(bitRate) + (n - 1.0f) * d->averageBitRate) / n;
    // A mean or a frame length of 0 says nothing about the length: the estimate stands.
    const float bytesPerFrame = d->averageBitRate / 8.0f * frameMs / 1000.0f;
    if (!(bytesPerFrame > 0.0f) || !std::isfinite(bytesPerFrame)) return;
    const float frames =
        std::round(static_cast<float>(c->fileSize - static_cast<s64>(c->firstFrameOffset)) / bytesPerFrame);
    if (!(frames >= 0.0f) || frames > 1.0e12f) return;
    d->durationInSamples =
        static_cast<u64>(frames) * static_cast<u64>(d->audioFrameSize) / static_cast<u64>(d->numChannels);
    d->durationInMs = static_cast<u32>(std::min<u64>(
        d->durationInSamples / static_cast<u64>(d->sampleRate) * 1000, std::numeric_limits<u32>::max()));
}

bool fitsTheFile(const decoder_struct *d, const MP3FrameInfo &info) {
    return info.layer == 3 && info.nChans == d->numChannels && info.samprate == d->sampleRate;
}

// A frame consumed by the decoder, its samples written at the ring's write position.
Step takeFrame(decoder_struct *d, mp3fileformat_t *c, const FramePlan &plan, s32 frameBytes) {
    MP3FrameInfo info{};
    MP3GetLastFrameInfo(handleOf(d), &info);
    if (!fitsTheFile(d, info)) {
        c->frameError = d->lastError = DECODER_ERROR_CORRUPT;
        return Step::skipped;
    }
    if (c->frameError != DECODER_ERROR_NOERROR) {
        c->frameError = DECODER_ERROR_NOERROR;
        d->lastError = DECODER_ERROR_NOERROR;
    }
    c->numFrames += 1;
    orv::stream::countFrame(d, c->seekTable, c->bs, &c->cursor);
    if (c->cursor.runInLeft > 0) {
        c->cursor.runInLeft -= 1;
        return Step::frame;
    }
    if (plan.keep) c->pcm->pcmBufferWrite += std::min(info.outputSamps / plan.factor, c->pcm->pcmBufferSize);
    updateEstimates(d, c, info, frameBytes);
    return Step::frame;
}

// Runs the decoder on the frame at the read position (the sync word found).
Step decodeAtSync(decoder_struct *d, mp3fileformat_t *c) {
    bitstream_t *bs = c->bs;
    const FramePlan plan = planFrame(d, c);
    unsigned char *start = bs->bsOffset;
    unsigned char *ptr = start;
    int left = bs->bytesLeft;
    audio16 *target = pcmbuffer_getBufferForWrite(c->pcm, 0);
    const int err = MP3Decode(handleOf(d), &ptr, &left, target, 0, plan.sizeOnly ? 1 : 0, plan.factor);
    const s32 consumed = static_cast<s32>(ptr - start);
    switch (err) {
    case ERR_MP3_NONE:
    case ERR_MP3_MAINDATA_UNDERFLOW: // the reservoir lacks earlier bytes: a frame of silence
    case ERR_MP3_INVALID_SCALEFACT:  // the whole frame was read and its output cleared
    case ERR_MP3_INVALID_HUFFCODES:
        orv::stream::skip(bs, consumed);
        return takeFrame(d, c, plan, consumed);
    case ERR_MP3_INVALID_FRAMEHEADER:
    case ERR_MP3_INVALID_SIDEINFO:
        orv::stream::skip(bs, 1); // no frame starts here
        return Step::skipped;
    case ERR_MP3_INDATA_UNDERFLOW:
        if (c->cursor.fileDone) return Step::end;
        // More input, unless the buffer cannot take more: then the frame cannot be read.
        if (orv::stream::refill(bs, d->inFile, &c->cursor) == 0 && !c->cursor.fileDone)
            orv::stream::skip(bs, 1);
        return Step::skipped;
    default:
        orv::stream::skip(bs, 1); // a caller that reads on moves past it
        return Step::corrupt;
    }
}

// Finds and decodes the next frame.
Step nextFrame(decoder_struct *d, mp3fileformat_t *c) {
    bitstream_t *bs = c->bs;
    if (!c->cursor.fileDone) orv::stream::refill(bs, d->inFile, &c->cursor);
    if (bs->bytesLeft <= 0) return Step::end;
    const int sync = MP3FindSyncWord(bs->bsOffset, bs->bytesLeft);
    if (sync < 0) {
        if (c->cursor.fileDone) return Step::end;
        // The last byte may start a sync word that the next bytes complete.
        orv::stream::skip(bs, std::max(bs->bytesLeft - 1, 1));
        return Step::skipped;
    }
    orv::stream::skip(bs, sync);
    return decodeAtSync(d, c);
}

// Starts a pending seek; a restart at the first frame gets a fresh frame decoder, as the decode
// from the start had.
decoder_error seekPending(decoder_struct *d, mp3fileformat_t *c) {
    s32 firstFrame = -1;
    const decoder_error e = orv::stream::startSeek(d, c->seekTable, c->bs, c->pcm, &c->cursor, kRunIn,
                                                   c->downSampleFactor, &firstFrame);
    if (e != DECODER_ERROR_NOERROR || firstFrame < 0) return e;
    c->numFrames = firstFrame;
    if (firstFrame == 0) {
        HMP3Decoder fresh = MP3InitDecoder();
        if (fresh == nullptr) return DECODER_ERROR_OUTOFMEMORY;
        MP3FreeDecoder(handleOf(d));
        d->decoderHandle = fresh;
    }
    return DECODER_ERROR_NOERROR;
}

void takeQualityChange(decoder_struct *d, mp3fileformat_t *c) {
    if (c->qualityChanged == 0) return;
    c->qualityChanged = 0;
    const bool reduced =
        d->decoderQuality == DECODER_QUALITY_HALF || d->decoderQuality == DECODER_QUALITY_QUATER;
    c->downSampleFactor = reduced && d->numChannels == 2 ? static_cast<s32>(d->decoderQuality) : 1;
}

} // namespace

decoder_error mp3mp3_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<mp3fileformat_t *>(d->fileformatHandle);
    const s32 wanted = std::clamp<s32>(*outSize, 0, c->maxOutSize);
    *outSize = 0;
    // The factor in force decides how many of the target frame's samples a seek drops.
    takeQualityChange(d, c);
    const decoder_error sought = seekPending(d, c);
    if (sought != DECODER_ERROR_NOERROR) return sought;

    const bool build = d->mode == DECODER_MODE_BUILDSEEK;
    const s32 channels = d->numChannels;
    bool ended = false;
    while (build || pcmbuffer_getNumSamples(c->pcm) < wanted * channels) {
        const Step step = nextFrame(d, c);
        if (step == Step::corrupt) return DECODER_ERROR_CORRUPT;
        if (step == Step::end) {
            ended = true;
            break;
        }
        if (build && step == Step::frame) return DECODER_ERROR_NOERROR;
    }
    if (build) return DECODER_ERROR_ENDOFFILE;
    *outSize = pcmbuffer_read(c->pcm, out, wanted, channels);
    // The last frames come with the end of the file.
    if (ended && pcmbuffer_getNumSamples(c->pcm) < channels) return DECODER_ERROR_ENDOFFILE;
    return c->frameError;
}
