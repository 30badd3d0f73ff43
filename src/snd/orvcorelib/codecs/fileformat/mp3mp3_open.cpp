// Opening and closing MP3 streams, and the operations on an open one besides decoding.
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/mp3mp3.h"
#include "codecs/fileformat/pcmfile.h"
#include "codecs/mp3dec/mp3dec.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

constexpr s32 kScanBlock = 16384;
constexpr s32 kShortestScanBlock = 8192;
// Zeroed bytes past a scan block, so that nothing read near its end leaves the allocation.
constexpr s32 kScanSlack = 64;
// The largest frame the decoder writes (MPEG-1 stereo) sizes the ring's frames.
constexpr s32 kRingFrameLength = 1152;
constexpr s32 kScratchSamples = 2 * 1152;

struct FirstFrame {
    s64 offset = 0;
    s32 bytes = 0; // what the parse of the frame consumed
    MP3FrameInfo info{};
};

enum class BlockScan { found, nextBlock, corrupt };

// Looks for the first Layer III frame in one block read from blockStart. *next returns where
// the following block starts.
BlockScan scanBlock(HMP3Decoder probe, u8 *block, s32 n, s64 blockStart, short *scratch, FirstFrame *found,
                    s64 *next) {
    *next = blockStart + n;
    s32 p = 0;
    while (p < n) {
        const int sync = MP3FindSyncWord(block + p, n - p);
        if (sync < 0) {
            debugmsg(" *** skipping ***\n");
            return BlockScan::nextBlock;
        }
        p += sync;
        unsigned char *ptr = block + p;
        int left = n - p;
        const int err = MP3Decode(probe, &ptr, &left, scratch, 0, 1, 4);
        const s32 consumed = static_cast<s32>(ptr - (block + p));
        if (err == ERR_MP3_INDATA_UNDERFLOW && consumed == 0) {
            // The header lies across the block's end: the next block starts with it.
            *next = blockStart + p;
            return BlockScan::nextBlock;
        }
        if (err != ERR_MP3_NONE && err != ERR_MP3_INDATA_UNDERFLOW) {
            p += consumed > 0 ? consumed : 1; // a false sync
            continue;
        }
        MP3GetLastFrameInfo(probe, &found->info);
        if (found->info.layer != 3) return BlockScan::nextBlock;
        if (consumed == 0 || found->info.nChans == 0 || found->info.samprate == 0) return BlockScan::corrupt;
        found->offset = blockStart + p;
        found->bytes = consumed;
        return BlockScan::found;
    }
    return BlockScan::nextBlock;
}

// Scans the file from start, block by block, for the first Layer III frame.
decoder_error findFirstFrame(HMP3Decoder probe, FILE *f, s64 start, const char *fileName, FirstFrame *found) {
    std::unique_ptr<u8[]> block(new (std::nothrow) u8[kScanBlock + kScanSlack]);
    std::unique_ptr<short[]> scratch(new (std::nothrow) short[kScratchSamples]);
    if (block == nullptr || scratch == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    s64 blockStart = start;
    for (;;) {
        std::memset(block.get(), 0, kScanBlock + kScanSlack);
        const s32 n = fileCallback.seek(f, blockStart, SEEK_SET) == 0
                          ? static_cast<s32>(fileCallback.read(block.get(), 1, kScanBlock, f))
                          : 0;
        if (n < kShortestScanBlock) {
            debugmsg(" *** Error opening input file %s ***\n", fileName);
            return DECODER_ERROR_CORRUPT;
        }
        s64 next = 0;
        switch (scanBlock(probe, block.get(), n, blockStart, scratch.get(), found, &next)) {
        case BlockScan::found:
            return DECODER_ERROR_NOERROR;
        case BlockScan::corrupt:
            return DECODER_ERROR_CORRUPT;
        case BlockScan::nextBlock:
            blockStart = next;
            break;
        }
    }
}

// The stream's description from its first frame.
void describe(decoder_struct *d, const FirstFrame &first, s32 fileSize) {
    const MP3FrameInfo &info = first.info;
    d->codecType = CODEC_TYPE_MP3;
    d->numChannels = info.nChans;
    d->sampleRate = info.samprate;
    d->audioFrameSize = info.outputSamps;
    d->bitRate = info.bitrate;
    const s64 frameMs = 1000LL * info.outputSamps / info.nChans / info.samprate;
    if (d->bitRate == 0 && frameMs > 0) d->bitRate = static_cast<s32>(first.bytes * 1000LL / frameMs * 8);
    d->averageBitRate = static_cast<float>(d->bitRate);
    d->durationInSamples = static_cast<u64>(fileSize / first.bytes) * static_cast<u64>(info.outputSamps) /
                           static_cast<u64>(info.nChans);
    d->durationInMs = static_cast<u32>(std::min<u64>(
        d->durationInSamples / static_cast<u64>(info.samprate) * 1000, std::numeric_limits<u32>::max()));
    d->durationInMsExact = 0;
    d->durationInSamplesExact = 0;
    d->seekPosition = -1;
}

void releaseRecord(mp3fileformat_t *c) {
    if (c == nullptr) return;
    bitstream_destory(c->bs);
    pcmbuffer_destory(c->pcm);
    seektable_destroy(c->seekTable);
    delete c;
}

// Releases whatever a failed open acquired, leaving the decoder as before the open.
decoder_error fail(decoder_struct *d, mp3fileformat_t *c, decoder_error e) {
    releaseRecord(c);
    MP3FreeDecoder(static_cast<HMP3Decoder>(d->decoderHandle));
    d->decoderHandle = nullptr;
    if (d->inFile != nullptr) fileCallback.close(d->inFile);
    d->inFile = nullptr;
    if (d->seekFile != nullptr) fileCallback.close(d->seekFile);
    d->seekFile = nullptr;
    d->fileformatHandle = nullptr;
    d->lastError = e;
    return e;
}

// The record with its buffers; the decoder's rate and channels are known.
mp3fileformat_t *makeRecord(decoder_struct *d, s32 fileSize, u32 firstFrameOffset) {
    auto *c = new (std::nothrow) mp3fileformat_t{};
    if (c == nullptr) return nullptr;
    c->fileSize = fileSize;
    c->firstFrameOffset = firstFrameOffset;
    c->maxOutSize = orv::pcmfile::bufferFrames(d, static_cast<u32>(d->sampleRate));
    c->downSampleFactor =
        d->decoderQuality == DECODER_QUALITY_HALF || d->decoderQuality == DECODER_QUALITY_QUATER
            ? d->decoderQuality
            : 1;
    c->bs = bitstream_new(kMp3InputBufferSize);
    c->pcm = pcmbuffer_new(orv::stream::ringSamples(d->numChannels, kRingFrameLength, c->maxOutSize));
    c->cursor.filePos = firstFrameOffset;
    c->cursor.lastFrameEnd = firstFrameOffset;
    if (c->bs == nullptr || c->pcm == nullptr) {
        releaseRecord(c);
        return nullptr;
    }
    return c;
}

} // namespace

decoder_error mp3mp3_Open(decoder_struct *d, const char *fileName, const char *seekFileName) {
    HMP3Decoder probe = MP3InitDecoder();
    if (probe == nullptr) {
        debugmsg(" *** Error initializing decoder ***\n");
        return fail(d, nullptr, DECODER_ERROR_ERROR);
    }
    d->decoderHandle = probe;
    d->inFile = fileCallback.open(fileName, "rb");
    if (d->inFile == nullptr) {
        debugmsg(" *** Error opening input file %s ***\n", fileName);
        return fail(d, nullptr, DECODER_ERROR_OPENFILEFAILED);
    }
    const s32 fileSize = orv::stream::clampedFileLength(d->inFile);
    if (fileSize < 0) return fail(d, nullptr, DECODER_ERROR_READERROR);
    const s64 start = skip_id3tagv2(d->inFile);
    FirstFrame first;
    const decoder_error e = findFirstFrame(probe, d->inFile, start, fileName, &first);
    if (e != DECODER_ERROR_NOERROR) return fail(d, nullptr, e);
    if (first.offset > std::numeric_limits<s32>::max() || first.info.nChans > 2)
        return fail(d, nullptr, DECODER_ERROR_CORRUPT);

    // Decoding starts from a fresh instance, as after every seek back to the first frame.
    MP3FreeDecoder(probe);
    d->decoderHandle = MP3InitDecoder();
    if (d->decoderHandle == nullptr) return fail(d, nullptr, DECODER_ERROR_ERROR);
    if (fileCallback.seek(d->inFile, first.offset, SEEK_SET) != 0)
        return fail(d, nullptr, DECODER_ERROR_READERROR);
    describe(d, first, fileSize);

    mp3fileformat_t *c = makeRecord(d, fileSize, static_cast<u32>(first.offset));
    if (c == nullptr) return fail(d, nullptr, DECODER_ERROR_OUTOFMEMORY);
    c->seekTable = initializeSeektable(d, seekFileName, static_cast<s32>(first.offset));
    if (c->seekTable == nullptr) return fail(d, c, DECODER_ERROR_OUTOFMEMORY);
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

decoder_error mp3mp3_Close(decoder_struct *d) {
    auto *c = static_cast<mp3fileformat_t *>(d->fileformatHandle);
    if (c != nullptr) c->seekTable = finalizeSeektable(d, c->seekTable);
    releaseRecord(c);
    d->fileformatHandle = nullptr;
    MP3FreeDecoder(static_cast<HMP3Decoder>(d->decoderHandle));
    d->decoderHandle = nullptr;
    if (d->inFile != nullptr) fileCallback.close(d->inFile);
    d->inFile = nullptr;
    return DECODER_ERROR_NOERROR;
}

decoder_error mp3mp3_GetSampleOffset(decoder_struct *d, s32 *position) {
    const auto *c = static_cast<const mp3fileformat_t *>(d->fileformatHandle);
    const s64 samples = static_cast<s64>(c->numFrames) * d->audioFrameSize;
    *position = static_cast<s32>(std::min<s64>(samples, std::numeric_limits<s32>::max()));
    return DECODER_ERROR_NOERROR;
}

decoder_error mp3mp3_SetQuality(decoder_struct *d, decoder_quality quality) {
    auto *c = static_cast<mp3fileformat_t *>(d->fileformatHandle);
    const bool reduced = quality == DECODER_QUALITY_HALF || quality == DECODER_QUALITY_QUATER;
    // A mono frame synthesises at the full rate whatever the factor: its output would not fit.
    if (quality == DECODER_QUALITY_MONO || (reduced && d->numChannels != 2) ||
        (!reduced && quality != DECODER_QUALITY_FULL))
        return DECODER_ERROR_NOTSUPPORTED;
    d->decoderQuality = quality;
    c->qualityChanged = 1;
    return DECODER_ERROR_NOERROR;
}

decoder_error mp3mp3_loadSeektableFile(decoder_struct *d, const char *seektableFileName) {
    auto *c = static_cast<mp3fileformat_t *>(d->fileformatHandle);
    return d->lastError = orv::stream::loadSeektable(d, &c->seekTable, seektableFileName,
                                                     static_cast<s32>(c->firstFrameOffset), c->numFrames);
}
