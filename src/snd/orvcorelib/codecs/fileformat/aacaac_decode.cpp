// Decoding an ADTS or ADIF stream frame by frame into the sample ring, with the seek run-in.
#include "codecs/aacdec/aacdec.h"
#include "codecs/fileformat/aacaac.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <limits>

namespace {

// Frames before a seek target that are run through; only the last is decoded, which fills
// the overlap of the frame at the target.
constexpr s32 kRunIn = 12;
// ADIF frames carry no sync word: a damaged one is passed by this many bytes.
constexpr s32 kAdifSkip = 4;

enum class Step {
    frame,    // a frame was counted
    skipped,  // bytes were passed over
    mismatch, // a frame of another channel count or rate was passed over: the call ends
    end,      // no more frames
    corrupt,  // the stream cannot be decoded on
};

// Passes over a frame that does not decode: to just past the sync word it began at (ADTS), so
// the next search finds the frame after it.
void skipBadFrame(aacfileformat_t *c) {
    bitstream_t *bs = c->bs;
    const s32 n = bs->bytesLeft;
    if (n <= 0) return;
    if (c->adif) {
        orv::stream::skip(bs, kAdifSkip);
        return;
    }
    const int sync = AACFindSyncWord(bs->bsOffset, n);
    orv::stream::skip(bs, sync < 0 ? std::max(n - 1, 1) : sync + 1);
}

// Tag data (ID3v1 "TAG", APE tags) after the last frame reads as text.
bool atTextData(const bitstream_t *bs) {
    if (bs->bytesLeft < 2) return false;
    const auto isText = [](u8 b) { return b >= 'A' && b <= 'z'; };
    return isText(bs->bsOffset[0]) && isText(bs->bsOffset[1]);
}

// The running estimates a good frame updates: bit rate, its mean, and the length from them.
void updateEstimates(decoder_struct *d, const aacfileformat_t *c, const AACFrameInfo &info, s32 frameBytes) {
    const s32 frameMs = 1024000 / std::max(d->sampleRate, 1);
    s32 bitRate = info.bitRate;
    if (bitRate == 0 && frameMs > 0) bitRate = static_cast<s32>(frameBytes * 8000LL / frameMs);
    d->bitRate = bitRate;
    const float n = static_cast<float>(std::max(c->numFrames, 1));
    d->averageBitRate = (static_cast<float>(bitRate) + (n - 1.0f) * d->averageBitRate) / n;
    // A mean or a frame length of 0 says nothing about the length: the estimate stands.
    const float bytes = d->averageBitRate / 8.0f * static_cast<float>(frameMs) / 1000.0f;
    if (!(bytes >= 1.0f) || bytes > 1.0e9f) return;
    const s64 bytesPerFrame = static_cast<s64>(bytes);
    d->durationInSamples = static_cast<u64>(c->fileSize / bytesPerFrame) *
                           static_cast<u64>(d->audioFrameSize) / static_cast<u64>(d->numChannels);
    d->durationInMs = static_cast<u32>(std::min<u64>(
        d->durationInSamples / static_cast<u64>(d->sampleRate) * 1000, std::numeric_limits<u32>::max()));
}

// A frame the decoder read, its samples written at the ring's write position.
Step takeFrame(decoder_struct *d, aacfileformat_t *c, bool keep, s32 frameBytes) {
    AACFrameInfo info{};
    AACGetLastFrameInfo(d->decoderHandle, &info);
    if (info.nChans != d->numChannels || info.sampRateCore != d->sampleRate) {
        debugmsg("aacaac_Decode frame info error detected.\n");
        d->lastError = DECODER_ERROR_CORRUPT;
        return Step::mismatch;
    }
    c->numFrames += 1;
    orv::stream::countFrame(d, c->seekTable, c->bs, &c->cursor);
    if (c->cursor.runInLeft > 0) {
        c->cursor.runInLeft -= 1;
        return Step::frame;
    }
    if (keep) c->pcm->pcmBufferWrite += std::min(info.outputSamps, c->pcm->pcmBufferSize);
    updateEstimates(d, c, info, frameBytes);
    return Step::frame;
}

// What an error of the frame decoder leads to.
Step onError(decoder_struct *d, aacfileformat_t *c, int err) {
    if (err == ERR_AAC_INDATA_UNDERFLOW) {
        if (c->cursor.fileDone) return Step::end;
        // More input, unless the buffer cannot take more: then the frame cannot be read.
        if (orv::stream::refill(c->bs, d->inFile, &c->cursor) > 0 || c->cursor.fileDone) return Step::skipped;
        skipBadFrame(c);
        d->lastError = DECODER_ERROR_CORRUPT;
        return Step::skipped;
    }
    debugmsg("aacaac_Decode err = %d", err);
    if (err != ERR_AAC_INVALID_ADTS_HEADER && err != ERR_AAC_INVALID_ADIF_HEADER &&
        err != ERR_AAC_INVALID_FRAME) {
        orv::stream::skip(c->bs, 1); // a caller that reads on moves past it
        return Step::corrupt;
    }
    if (atTextData(c->bs)) {
        debugmsg("\nNone audio data detected");
        c->cursor.streamEnded = true;
        return Step::end;
    }
    skipBadFrame(c);
    d->lastError = DECODER_ERROR_CORRUPT;
    return Step::skipped;
}

// Decodes the next frame: parsed only in build-seek-table mode and for all but the last run-in
// frame after a seek.
Step nextFrame(decoder_struct *d, aacfileformat_t *c) {
    if (c->cursor.streamEnded) return Step::end;
    bitstream_t *bs = c->bs;
    if (!c->cursor.fileDone) orv::stream::refill(bs, d->inFile, &c->cursor);
    if (bs->bytesLeft <= 0) return Step::end;
    const bool build = d->mode == DECODER_MODE_BUILDSEEK;
    const bool sizeOnly = build || c->cursor.runInLeft > 1;
    if (c->lqdecMono != 0 && !c->adif) {
        // Decoding one channel, the frame decoder moves on by the ADTS frame length counted
        // from where the call starts: bytes before the sync word must be passed first.
        const int sync = AACFindSyncWord(bs->bsOffset, bs->bytesLeft);
        if (sync > 0) orv::stream::skip(bs, sync);
    }
    unsigned char *start = bs->bsOffset;
    unsigned char *ptr = start;
    int left = bs->bytesLeft;
    audio16 *target = pcmbuffer_getBufferForWrite(c->pcm, 0);
    const int err = AACDecode(d->decoderHandle, &ptr, &left, target, sizeOnly ? 1 : 0, c->lqdecMono);
    if (err != ERR_AAC_NONE) return onError(d, c, err);
    const s32 consumed = static_cast<s32>(ptr - start);
    orv::stream::skip(bs, consumed);
    return takeFrame(d, c, !build, consumed);
}

decoder_error seekPending(decoder_struct *d, aacfileformat_t *c) {
    s32 firstFrame = -1;
    const decoder_error e =
        orv::stream::startSeek(d, c->seekTable, c->bs, c->pcm, &c->cursor, kRunIn, 1, &firstFrame);
    if (e != DECODER_ERROR_NOERROR || firstFrame < 0) return e;
    c->numFrames = firstFrame;
    // Nothing of the old position may reach the new one (a restart at the first frame has no
    // run-in to fill the overlap).
    AACFlushCodec(d->decoderHandle);
    return DECODER_ERROR_NOERROR;
}

} // namespace

decoder_error aacaac_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<aacfileformat_t *>(d->fileformatHandle);
    const s32 wanted = std::clamp<s32>(*outSize, 0, c->maxOutSize);
    *outSize = 0;
    const decoder_error sought = seekPending(d, c);
    if (sought != DECODER_ERROR_NOERROR) return sought;
    if (c->qualityChanged != 0) {
        c->qualityChanged = 0;
        c->lqdecMono = d->decoderQuality == DECODER_QUALITY_MONO ? 1 : 0;
    }

    const bool build = d->mode == DECODER_MODE_BUILDSEEK;
    const s32 channels = d->numChannels;
    bool ended = false;
    while (build || pcmbuffer_getNumSamples(c->pcm) < wanted * channels) {
        const Step step = nextFrame(d, c);
        if (step == Step::corrupt) return DECODER_ERROR_CORRUPT;
        if (step == Step::mismatch) break;
        if (step == Step::end) {
            ended = true;
            break;
        }
        if (build && step == Step::frame) return DECODER_ERROR_NOERROR;
    }
    if (build) return ended ? DECODER_ERROR_ENDOFFILE : DECODER_ERROR_NOERROR;
    *outSize = pcmbuffer_read(c->pcm, out, wanted, channels);
    // The last frames come with the end of the file.
    if (ended && pcmbuffer_getNumSamples(c->pcm) < channels) return DECODER_ERROR_ENDOFFILE;
    return DECODER_ERROR_NOERROR;
}
