// The seek table as the stream readers use it: started at open, finished at close, and used to
// carry out a pending seek.
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/seektable.h"

#include <algorithm>
#include <limits>

namespace {

// A table made afresh: the song is not seekable until frames have been recorded.
seektable_struct *startEmpty(decoder_struct *d, s32 firstFrameOffset) {
    d->seekStatus = DECODER_SEEK_NOTSEEKABLE;
    seektable_struct *table = seektable_create(SEEKTABLE_MODE_OVERWRITE, d->audioFrameSize);
    if (table != nullptr) seektable_setFirstFrameOffset(table, firstFrameOffset);
    return table;
}

// A table read from a file written for another first frame belongs to another version of the
// song; it counts as no table.
seektable_struct *readTable(decoder_struct *d, const char *seekFileName, s32 firstFrameOffset) {
    FILE *file = fileCallback.open(seekFileName, "rb");
    if (file == nullptr) return nullptr;
    seektable_struct *table = seektable_createFromFile(SEEKTABLE_MODE_APPEND, file, d->audioFrameSize);
    fileCallback.close(file);
    if (table != nullptr && table->firstFrameOffset != firstFrameOffset) {
        seektable_destroy(table);
        return nullptr;
    }
    return table;
}

void takeExactLength(decoder_struct *d, const seektable_struct *table) {
    if (d->numChannels < 1 || d->sampleRate < 1) return;
    const u64 frames =
        static_cast<u64>(d->audioFrameSize) * table->numAudioFrames / static_cast<u64>(d->numChannels);
    d->durationInSamplesExact = frames;
    const u64 ms = frames / static_cast<u64>(d->sampleRate) * 1000;
    d->durationInMsExact = static_cast<u32>(std::min<u64>(ms, std::numeric_limits<u32>::max()));
}

} // namespace

seektable_struct *initializeSeektable(decoder_struct *d, const char *seekFileName, s32 firstFrameOffset) {
    if (d->rebuildSeektable != 0) {
        if (seekFileName != nullptr) d->seekFile = fileCallback.open(seekFileName, "wb");
        return startEmpty(d, firstFrameOffset);
    }
    seektable_struct *table =
        seekFileName == nullptr ? nullptr : readTable(d, seekFileName, firstFrameOffset);
    if (table == nullptr) return startEmpty(d, firstFrameOffset);
    if (table->isPartial != 0) {
        d->seekStatus = DECODER_SEEK_PARTIAL_SEEKABLE;
    } else {
        d->seekStatus = DECODER_SEEK_SEEKABLE;
        takeExactLength(d, table);
    }
    return table;
}

seektable_struct *finalizeSeektable(decoder_struct *d, seektable_struct *table) {
    if (table != nullptr) {
        // A table that stopped recording part-way would claim a shorter song; it is not written.
        const bool complete = table->toBuild != 0;
        seektable_finalize(table);
        if (d->mode == DECODER_MODE_BUILDSEEK && d->seekFile != nullptr && complete)
            seektable_writeToFile(table, d->seekFile, 0);
        seektable_destroy(table);
    }
    if (d->seekFile != nullptr) {
        fileCallback.close(d->seekFile);
        d->seekFile = nullptr;
    }
    return nullptr;
}

decoder_error seekUsingSeektable(decoder_struct *d, seektable_struct *table, s32 *seekAudioOffset,
                                 bitstream_t *bs, pcmbuffer_t *pcm, s32 *framesToSkip) {
    if (table == nullptr || d->seekPosition < 0) {
        *framesToSkip = 0;
        return DECODER_ERROR_NOERROR;
    }
    const s64 samples = static_cast<s64>(d->seekPosition) * d->numChannels;
    d->seekPosition = -1;
    if (samples > INT32_MAX) {
        *framesToSkip = 0;
        return DECODER_ERROR_OUTOFRANGE;
    }
    const s32 playPosition = table->currentPlayPosition;
    s32 position = static_cast<s32>(samples);
    const s32 offset = seektable_getFilePosition(table, &position, framesToSkip);
    if (offset < 0 || fileCallback.seek(d->inFile, offset, SEEK_SET) != 0) {
        table->currentPlayPosition = playPosition;
        *framesToSkip = 0;
        return DECODER_ERROR_OUTOFRANGE;
    }
    *seekAudioOffset = static_cast<s32>(samples);
    bitstream_reset(bs);
    pcmbuffer_reset(pcm, position);
    return DECODER_ERROR_NOERROR;
}
