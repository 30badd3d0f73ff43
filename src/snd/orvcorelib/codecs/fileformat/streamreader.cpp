#include "codecs/fileformat/streamreader.h"

#include "codecs/fileformat/fileops.h"

#include <algorithm>
#include <limits>

namespace orv::stream {

s64 readPosition(const bitstream_t *bs, const Cursor &c) {
    return c.filePos - std::max(bs->bytesLeft, 0);
}

s32 refill(bitstream_t *bs, FILE *file, Cursor *c) {
    if (bs->bytesLeft < 0) bs->bytesLeft = 0;
    const s32 before = bs->bytesLeft;
    s32 depleted = 0;
    bitstream_read(bs, file, &depleted);
    const s32 added = bs->bytesLeft - before;
    c->filePos += added;
    if (depleted != 0) c->fileDone = true;
    return added;
}

void skip(bitstream_t *bs, s32 n) {
    n = std::clamp(n, 0, std::max(bs->bytesLeft, 0));
    bs->bsOffset += n;
    bs->bytesLeft -= n;
}

decoder_error startSeek(decoder_struct *d, seektable_struct *table, bitstream_t *bs, pcmbuffer_t *pcm,
                        Cursor *c, s32 wantedRunIn, s32 factor, s32 *firstFrame) {
    *firstFrame = -1;
    if (d->seekPosition < 0) return DECODER_ERROR_NOERROR;
    if (table == nullptr) {
        d->seekPosition = -1;
        return DECODER_ERROR_NOERROR;
    }
    s32 audioOffset = 0;
    s32 runIn = wantedRunIn;
    const decoder_error e = seekUsingSeektable(d, table, &audioOffset, bs, pcm, &runIn);
    if (e != DECODER_ERROR_NOERROR) return e;
    const s64 restart = fileCallback.tell(d->inFile);

    // The table counts in samples at the file's rate; the ring holds them at 1/factor of it.
    const s32 channels = std::max(d->numChannels, 1);
    const s32 dropFrames = pcm->pcmBufferRead / channels / std::max(factor, 1);
    pcmbuffer_reset(pcm, dropFrames * channels);

    // The run-in frames are counted again as they pass, so the table stays in step with them.
    table->currentPlayPosition -= runIn;
    *firstFrame = table->currentPlayPosition;
    c->filePos = restart;
    c->lastFrameEnd = restart;
    c->fileDone = false;
    c->streamEnded = false;
    c->runInLeft = runIn;
    return DECODER_ERROR_NOERROR;
}

void countFrame(decoder_struct *d, seektable_struct *table, const bitstream_t *bs, Cursor *c) {
    const s64 end = readPosition(bs, *c);
    const s64 length = end - c->lastFrameEnd;
    c->lastFrameEnd = end;
    if (table == nullptr) return;
    // A length beyond what a table entry holds stops the recording (see seektable_addElement).
    const s32 entry = length < 0 || length > std::numeric_limits<s32>::max() ? -1 : static_cast<s32>(length);
    if (seektable_addElement(table, entry) > 0 &&
        (d->seekStatus == DECODER_SEEK_NOTSEEKABLE || d->seekStatus == DECODER_SEEK_UNKNOWN))
        d->seekStatus = DECODER_SEEK_BACKWARD_SEEKABLE;
}

decoder_error loadSeektable(decoder_struct *d, seektable_struct **table, const char *fileName,
                            s32 firstFrameOffset, s32 currentFrame) {
    const decoder_seek_status status = d->seekStatus;
    const s8 rebuild = d->rebuildSeektable;
    d->rebuildSeektable = 0; // loading must never truncate the file
    seektable_struct *loaded =
        fileName == nullptr ? nullptr : initializeSeektable(d, fileName, firstFrameOffset);
    d->rebuildSeektable = rebuild;
    if (loaded == nullptr || d->seekStatus != DECODER_SEEK_SEEKABLE) {
        // A song keeps what it has recorded so far rather than losing it to a bad file.
        seektable_destroy(loaded);
        d->seekStatus = status;
        return DECODER_ERROR_SEEKTABLE_LOAD_FAILED;
    }
    loaded->currentPlayPosition = currentFrame;
    seektable_destroy(*table);
    *table = loaded;
    return DECODER_ERROR_NOERROR;
}

s32 ringSamples(s32 channels, s32 frameLength, s32 maxOutSize) {
    const s64 frame = static_cast<s64>(channels) * frameLength;
    if (frame <= 0 || maxOutSize < 0) return 0;
    const s64 samples = frame * (static_cast<s64>(channels) * maxOutSize / frame + 2);
    return samples <= std::numeric_limits<s32>::max() / 2 ? static_cast<s32>(samples) : 0;
}

s32 clampedFileLength(FILE *file) {
    const s64 length = fileLength(file);
    if (length < 0) return -1;
    return static_cast<s32>(std::min<s64>(length, std::numeric_limits<s32>::max()));
}

} // namespace orv::stream
