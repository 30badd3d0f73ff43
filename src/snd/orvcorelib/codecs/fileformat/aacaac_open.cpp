// Opening and closing ADTS and ADIF streams, and the operations on an open one besides decoding.
#include "codecs/aacdec/aacdec.h"
#include "codecs/fileformat/aacaac.h"
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmfile.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

constexpr s32 kScanBlock = 12288;
// Zeroed bytes past a scan block, so that nothing read near its end leaves the allocation.
constexpr s32 kScanSlack = 64;
constexpr s32 kScratchSamples = AAC_MAX_NCHANS * AAC_MAX_NSAMPS;

struct FirstFrame {
    s64 offset = 0;
    s32 bytes = 0; // what the parse of the frame consumed
    AACFrameInfo info{};
};

enum class BlockScan { found, nextBlock, corrupt };

// Parses the frame at block + p; 0 with *consumed, or the decoder's error.
int parseFrame(HAACDecoder h, u8 *block, s32 n, s32 p, short *scratch, s32 *consumed) {
    unsigned char *ptr = block + p;
    int left = n - p;
    const int err = AACDecode(h, &ptr, &left, scratch, 1, 0);
    *consumed = static_cast<s32>(ptr - (block + p));
    return err;
}

// Looks for the first ADTS frame that parses in one block read from blockStart. A sync word
// that does not lead to a frame is passed by one byte. *next returns where the following block
// starts.
BlockScan scanBlock(HAACDecoder probe, u8 *block, s32 n, s64 blockStart, short *scratch, FirstFrame *found,
                    s64 *next) {
    *next = blockStart + n;
    for (s32 p = 0; p < n;) {
        const int sync = AACFindSyncWord(block + p, n - p);
        if (sync < 0) return BlockScan::nextBlock;
        p += sync;
        s32 consumed = 0;
        const int err = parseFrame(probe, block, n, p, scratch, &consumed);
        if (err == ERR_AAC_INDATA_UNDERFLOW && p > 0) {
            *next = blockStart + p; // the frame runs past the block: the next one starts with it
            return BlockScan::nextBlock;
        }
        if (err != ERR_AAC_NONE) {
            debugmsg(" *** skipping ***\n");
            AACFlushCodec(probe); // no state of a false frame carries over
            p += 1;
            continue;
        }
        if (consumed == 0) return BlockScan::corrupt;
        found->offset = blockStart + p;
        found->bytes = consumed;
        return BlockScan::found;
    }
    return BlockScan::nextBlock;
}

// Reads the scan block at blockStart; the bytes read, below kScanBlock at the file's end.
s32 readBlock(FILE *f, s64 blockStart, u8 *block) {
    std::memset(block, 0, kScanBlock + kScanSlack);
    if (fileCallback.seek(f, blockStart, SEEK_SET) != 0) return 0;
    return static_cast<s32>(fileCallback.read(block, 1, kScanBlock, f));
}

// Finds the first frame from start: an ADIF stream's first raw block right at start, else the
// first ADTS frame, block by block.
decoder_error findFirstFrame(HAACDecoder probe, FILE *f, s64 start, bool adif, const char *fileName,
                             FirstFrame *found) {
    std::unique_ptr<u8[]> block(new (std::nothrow) u8[kScanBlock + kScanSlack]);
    std::unique_ptr<short[]> scratch(new (std::nothrow) short[kScratchSamples]);
    if (block == nullptr || scratch == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    for (s64 blockStart = start;;) {
        const s32 n = readBlock(f, blockStart, block.get());
        if (n < kScanBlock) {
            debugmsg(" *** Error opening input file %s ***\n", fileName);
            return DECODER_ERROR_CORRUPT;
        }
        if (adif) {
            s32 consumed = 0;
            if (parseFrame(probe, block.get(), n, 0, scratch.get(), &consumed) != ERR_AAC_NONE ||
                consumed == 0)
                return DECODER_ERROR_CORRUPT;
            found->offset = start;
            found->bytes = consumed;
            AACGetLastFrameInfo(probe, &found->info);
            return DECODER_ERROR_NOERROR;
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

bool startsWithAdif(FILE *f, s64 start) {
    char head[4] = {};
    const bool read = fileCallback.seek(f, start, SEEK_SET) == 0 && orv::readExactly(f, head, sizeof head);
    return read && std::memcmp(head, "ADIF", 4) == 0;
}

// Parses the first ADTS frame again with the decoding instance, so that its description owes
// nothing to false frames the scan met, then readies the instance for the stream's start.
decoder_error describeWithDecoder(HAACDecoder h, FILE *f, FirstFrame *first) {
    std::unique_ptr<u8[]> block(new (std::nothrow) u8[kScanBlock + kScanSlack]);
    std::unique_ptr<short[]> scratch(new (std::nothrow) short[kScratchSamples]);
    if (block == nullptr || scratch == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    const s32 n = readBlock(f, first->offset, block.get());
    s32 consumed = 0;
    if (parseFrame(h, block.get(), n, 0, scratch.get(), &consumed) != ERR_AAC_NONE || consumed == 0)
        return DECODER_ERROR_CORRUPT;
    AACGetLastFrameInfo(h, &first->info);
    AACFlushCodec(h);
    return DECODER_ERROR_NOERROR;
}

decoder_error describe(decoder_struct *d, const FirstFrame &first, s32 fileSize) {
    const AACFrameInfo &info = first.info;
    if (info.nChans < 1 || info.nChans > AAC_MAX_NCHANS || info.sampRateCore < 1 || info.outputSamps < 1)
        return DECODER_ERROR_CORRUPT;
    d->codecType = CODEC_TYPE_AAC;
    d->numChannels = info.nChans;
    d->sampleRate = info.sampRateCore;
    d->audioFrameSize = info.outputSamps;
    d->bitRate = info.bitRate;
    const s32 frameMs = 1024000 / info.sampRateCore;
    if (d->bitRate == 0 && frameMs > 0) d->bitRate = static_cast<s32>(first.bytes * 1000LL / frameMs * 8);
    d->averageBitRate = static_cast<float>(d->bitRate);
    d->durationInSamples = static_cast<u64>(fileSize / first.bytes) * static_cast<u64>(info.outputSamps) /
                           static_cast<u64>(info.nChans);
    d->durationInMs = static_cast<u32>(std::min<u64>(
        d->durationInSamples / static_cast<u64>(info.sampRateCore) * 1000, std::numeric_limits<u32>::max()));
    d->durationInMsExact = 0;
    d->durationInSamplesExact = 0;
    d->seekPosition = -1;
    return DECODER_ERROR_NOERROR;
}

void releaseRecord(aacfileformat_t *c) {
    if (c == nullptr) return;
    bitstream_destory(c->bs);
    pcmbuffer_destory(c->pcm);
    seektable_destroy(c->seekTable);
    delete c;
}

// Releases whatever a failed open acquired, leaving the decoder as before the open.
decoder_error fail(decoder_struct *d, aacfileformat_t *c, decoder_error e) {
    releaseRecord(c);
    AACFreeDecoder(d->decoderHandle);
    d->decoderHandle = nullptr;
    if (d->inFile != nullptr) fileCallback.close(d->inFile);
    d->inFile = nullptr;
    if (d->seekFile != nullptr) fileCallback.close(d->seekFile);
    d->seekFile = nullptr;
    d->fileformatHandle = nullptr;
    d->lastError = e;
    return e;
}

aacfileformat_t *makeRecord(decoder_struct *d, s32 fileSize, u32 firstFrameOffset, bool adif) {
    auto *c = new (std::nothrow) aacfileformat_t{};
    if (c == nullptr) return nullptr;
    c->fileSize = fileSize;
    c->firstFrameOffset = firstFrameOffset;
    c->adif = adif;
    c->maxOutSize = orv::pcmfile::bufferFrames(d, static_cast<u32>(d->sampleRate));
    c->bs = bitstream_new(kAacInputBufferSize);
    c->pcm = pcmbuffer_new(orv::stream::ringSamples(d->numChannels, AAC_MAX_NSAMPS, c->maxOutSize));
    c->cursor.filePos = firstFrameOffset;
    c->cursor.lastFrameEnd = firstFrameOffset;
    if (c->bs == nullptr || c->pcm == nullptr) {
        releaseRecord(c);
        return nullptr;
    }
    return c;
}

// Finds and describes the first frame; d->decoderHandle ends up a decoder ready for it.
decoder_error probeStream(decoder_struct *d, const char *fileName, s32 fileSize, s64 start, bool adif,
                          FirstFrame *first) {
    HAACDecoder probe = d->decoderHandle;
    decoder_error e = findFirstFrame(probe, d->inFile, start, adif, fileName, first);
    if (e != DECODER_ERROR_NOERROR) return e;
    // An ADIF header is read once per instance: decoding starts over with a fresh one.
    AACFreeDecoder(probe);
    d->decoderHandle = AACInitDecoder();
    if (d->decoderHandle == nullptr) return DECODER_ERROR_ERROR;
    if (!adif) e = describeWithDecoder(d->decoderHandle, d->inFile, first);
    if (e == DECODER_ERROR_NOERROR) e = describe(d, *first, fileSize);
    if (e == DECODER_ERROR_NOERROR && fileCallback.seek(d->inFile, first->offset, SEEK_SET) != 0)
        e = DECODER_ERROR_READERROR;
    return e;
}

} // namespace

decoder_error aacaac_Open(decoder_struct *d, const char *fileName, const char *seekFileName) {
    d->decoderHandle = AACInitDecoder();
    if (d->decoderHandle == nullptr) {
        debugmsg(" *** Error initializing decoder ***\n");
        return fail(d, nullptr, DECODER_ERROR_ERROR);
    }
    d->inFile = fileCallback.open(fileName, "rb");
    if (d->inFile == nullptr) {
        debugmsg(" *** Error opening input file %s ***\n", fileName);
        return fail(d, nullptr, DECODER_ERROR_OPENFILEFAILED);
    }
    const s32 fileSize = orv::stream::clampedFileLength(d->inFile);
    if (fileSize < 0) return fail(d, nullptr, DECODER_ERROR_READERROR);
    const s64 start = skip_id3tagv2(d->inFile);
    const bool adif = startsWithAdif(d->inFile, start);
    FirstFrame first;
    const decoder_error e = probeStream(d, fileName, fileSize, start, adif, &first);
    if (e != DECODER_ERROR_NOERROR) return fail(d, nullptr, e);
    if (first.offset > std::numeric_limits<s32>::max()) return fail(d, nullptr, DECODER_ERROR_CORRUPT);

    aacfileformat_t *c = makeRecord(d, fileSize, static_cast<u32>(first.offset), adif);
    if (c == nullptr) return fail(d, nullptr, DECODER_ERROR_OUTOFMEMORY);
    if (adif) {
        // Raw blocks without sync words: the stream plays from its start only.
        d->seekStatus = DECODER_SEEK_NOTSEEKABLE;
    } else {
        c->seekTable = initializeSeektable(d, seekFileName, static_cast<s32>(first.offset));
        if (c->seekTable == nullptr) return fail(d, c, DECODER_ERROR_OUTOFMEMORY);
    }
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

decoder_error aacaac_Close(decoder_struct *d) {
    auto *c = static_cast<aacfileformat_t *>(d->fileformatHandle);
    if (c != nullptr) c->seekTable = finalizeSeektable(d, c->seekTable);
    releaseRecord(c);
    d->fileformatHandle = nullptr;
    AACFreeDecoder(d->decoderHandle);
    d->decoderHandle = nullptr;
    if (d->inFile != nullptr) fileCallback.close(d->inFile);
    d->inFile = nullptr;
    return DECODER_ERROR_NOERROR;
}

decoder_error aacaac_GetSampleOffset(decoder_struct *d, s32 *position) {
    const auto *c = static_cast<const aacfileformat_t *>(d->fileformatHandle);
    const s64 samples = static_cast<s64>(c->numFrames) * d->audioFrameSize;
    *position = static_cast<s32>(std::min<s64>(samples, std::numeric_limits<s32>::max()));
    return DECODER_ERROR_NOERROR;
}

decoder_error aacaac_SetQuality(decoder_struct *d, decoder_quality quality) {
    auto *c = static_cast<aacfileformat_t *>(d->fileformatHandle);
    if (quality != DECODER_QUALITY_FULL && quality != DECODER_QUALITY_MONO) return DECODER_ERROR_NOTSUPPORTED;
    d->decoderQuality = quality;
    c->qualityChanged = 1;
    return DECODER_ERROR_NOERROR;
}

decoder_error aacaac_loadSeektableFile(decoder_struct *d, const char *seektableFileName) {
    auto *c = static_cast<aacfileformat_t *>(d->fileformatHandle);
    const decoder_error e =
        c->adif ? DECODER_ERROR_SEEKTABLE_LOAD_FAILED
                : orv::stream::loadSeektable(d, &c->seekTable, seektableFileName,
                                             static_cast<s32>(c->firstFrameOffset), c->numFrames);
    return d->lastError = e;
}
