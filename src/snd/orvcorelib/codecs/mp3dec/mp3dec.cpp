// Public calls of the MP3 decoder and the frame flow of MP3Decode: header, side information,
// main data through the bit reservoir (or in place), then per granule scale factors, Huffman
// data, dequantisation with stereo processing, inverse transform and synthesis.
#include "codecs/mp3dec/mp3common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

template <typename T>
T *allocZeroed() {
    void *p = std::calloc(1, sizeof(T));
    return static_cast<T *>(p);
}

bool hasWorkAreas(const MP3DecInfo *d) {
    return d->FrameHeaderPS && d->SideInfoPS && d->ScaleFactorInfoPS && d->HuffmanInfoPS &&
           d->DequantInfoPS && d->IMDCTInfoPS && d->SubbandInfoPS;
}

int clearAndFail(MP3DecInfo *d, short *outbuf, int factor, int err) {
    MP3ClearBadFrame(d, outbuf, factor);
    return err;
}

void consume(unsigned char **inbuf, int *bytesLeft, int n) {
    *inbuf += n;
    *bytesLeft -= n;
}

// Length of the header and side information at buf; 0 when they are not all at hand, -1 for a
// header with reserved fields.
int frameOverheadBytes(const unsigned char *buf, int bytesLeft) {
    if (bytesLeft < 4) return 0;
    if (buf[0] != 0xFF || buf[1] < 0xE0) return -1;
    if (((buf[1] >> 1) & 3) == 0 || (buf[2] >> 4) == 15 || ((buf[2] >> 2) & 3) == 3) return -1;
    const int verBits = (buf[1] >> 3) & 3;
    const int ver = verBits == 0 ? MPEG25 : (verBits == 2 ? MPEG2 : MPEG1);
    const int mono = ((buf[3] >> 6) & 3) == Mono ? 1 : 0;
    const int header = (buf[1] & 1) ? 4 : 6;
    const int total = header + lmp3_sideBytesTab[ver][mono];
    return bytesLeft < total ? 0 : total;
}

// Free format: the frame's size is the distance to the next header with the same fixed fields.
int settleFreeBitrate(MP3DecInfo *d, const unsigned char *frameStart, const unsigned char *mainData,
                      int bytesLeft, int overhead) {
    const FrameHeader *fh = d->FrameHeaderPS;
    if (d->bitrate == 0 && !d->freeBitrateFlag) {
        d->freeBitrateFlag = 1;
        int found = -1;
        for (int i = 0; i + 2 < bytesLeft;) {
            const unsigned char *p = mainData + i;
            if (p[0] == 0xFF && p[1] >= 0xE0) {
                if (p[1] == frameStart[1] && (p[2] & 0xFC) == (frameStart[2] & 0xFC)) {
                    found = i;
                    break;
                }
                i += 3;
            } else {
                ++i;
            }
        }
        if (found < 0) {
            d->freeBitrateSlots = -1;
            return ERR_MP3_FREE_BITRATE_SYNC;
        }
        d->freeBitrateSlots = found - fh->paddingBit;
        if (d->freeBitrateSlots < 0) return ERR_MP3_FREE_BITRATE_SYNC;
        const s64 rate = s64{d->freeBitrateSlots + overhead} * d->samprate * 8 / (d->nGranSamps * d->nGrans);
        d->bitrate = static_cast<int>(std::min<s64>(rate, 0x7FFFFFFF));
    }
    if (d->freeBitrateFlag) d->nSlots = d->freeBitrateSlots + fh->paddingBit;
    return ERR_MP3_NONE;
}

// Takes in the frame's main data. Returns the error, or 0 with *mainPtr set to where the
// granules' data starts.
int takeMainData(MP3DecInfo *d, unsigned char **inbuf, int *bytesLeft, short *outbuf, int useSize, int factor,
                 int overhead, const unsigned char **mainPtr) {
    if (useSize == 1) {
        d->nSlots = *bytesLeft;
        if (d->mainDataBegin != 0 || *bytesLeft <= 0)
            return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_FRAMEHEADER);
        d->mainDataBytes = d->nSlots;
        *mainPtr = *inbuf;
        consume(inbuf, bytesLeft, d->nSlots);
        return ERR_MP3_NONE;
    }
    if (useSize >= 2) {
        d->nSlots = useSize - overhead;
        MP3ClearBadFrame(d, outbuf, factor);
        // The caller's frame size must leave main data and lie within the bytes given.
        if (d->nSlots <= 0) return ERR_MP3_INVALID_FRAMEHEADER;
        if (d->nSlots > *bytesLeft) return ERR_MP3_INDATA_UNDERFLOW;
        d->mainDataBegin = 0;
        d->mainDataBytes = d->nSlots;
        *mainPtr = *inbuf;
        consume(inbuf, bytesLeft, d->nSlots);
        return ERR_MP3_NONE;
    }
    // A free-format frame may claim more than the reservoir can ever hold.
    if (d->mainDataBegin + d->nSlots > MAINBUF_SIZE)
        return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_FRAMEHEADER);
    if (*bytesLeft < d->nSlots) return clearAndFail(d, outbuf, factor, ERR_MP3_INDATA_UNDERFLOW);
    if (d->nSlots <= 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_FRAMEHEADER);
    if (d->mainDataBytes < d->mainDataBegin) {
        // Not enough history (start of stream or after a seek): gather the bytes, play silence.
        if (d->mainDataBytes + d->nSlots <= MAINBUF_SIZE - 1) {
            std::memcpy(d->mainBuf + d->mainDataBytes, *inbuf, static_cast<size_t>(d->nSlots));
            d->mainDataBytes += d->nSlots;
        }
        consume(inbuf, bytesLeft, d->nSlots);
        return clearAndFail(d, outbuf, factor, ERR_MP3_MAINDATA_UNDERFLOW);
    }
    std::memmove(d->mainBuf, d->mainBuf + d->mainDataBytes - d->mainDataBegin,
                 static_cast<size_t>(d->mainDataBegin));
    std::memcpy(d->mainBuf + d->mainDataBegin, *inbuf, static_cast<size_t>(d->nSlots));
    d->mainDataBytes = d->mainDataBegin + d->nSlots;
    consume(inbuf, bytesLeft, d->nSlots);
    *mainPtr = d->mainBuf;
    return ERR_MP3_NONE;
}

// Decodes the granules from the main data. Returns 0 or the error (output cleared).
int decodeGranules(MP3DecInfo *d, const unsigned char *mainPtr, short *outbuf, int factor) {
    int bitOffset = 0;
    // A caller-given frame may be larger than any frame's granules can use (4 x 4095 bits).
    int bitsLeft = static_cast<int>(std::min<s64>(8 * s64{d->mainDataBytes}, 1 << 20));
    const unsigned char *ptr = mainPtr;
    for (int gr = 0; gr < d->nGrans; ++gr) {
        for (int ch = 0; ch < d->nChans; ++ch) {
            const int part23 = d->SideInfoPS->sis[gr][ch].part23Length;
            d->part23Length[gr][ch] = part23;
            const int prevOffset = bitOffset;
            const int bytes = lmp3_UnpackScaleFactors(d, ptr, &bitOffset, bitsLeft, gr, ch);
            if (bytes < 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_SCALEFACT);
            const int sfBits = 8 * bytes - prevOffset + bitOffset;
            const int huffBits = part23 - sfBits;
            bitsLeft -= sfBits;
            ptr += bytes;
            if (sfBits > part23 || huffBits > bitsLeft)
                return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_SCALEFACT);

            const int hbytes = lmp3_DecodeHuffman(d, ptr, &bitOffset, huffBits, gr, ch);
            if (hbytes < 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_HUFFCODES);
            ptr += hbytes;
            bitsLeft -= huffBits;
        }
        if (lmp3_Dequantize(d, gr) < 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_DEQUANTIZE);
        for (int ch = 0; ch < d->nChans; ++ch)
            if (lmp3_IMDCT(d, gr, ch) < 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_IMDCT);
        short *pcm = outbuf + gr * d->nChans * (d->nGranSamps / factor);
        if (lmp3_Subband(d, pcm, factor) < 0) return clearAndFail(d, outbuf, factor, ERR_MP3_INVALID_SUBBAND);
    }
    return ERR_MP3_NONE;
}

} // namespace

HMP3Decoder MP3InitDecoder() {
    MP3DecInfo *d = allocZeroed<MP3DecInfo>();
    if (!d) return nullptr;
    d->FrameHeaderPS = allocZeroed<FrameHeader>();
    d->SideInfoPS = allocZeroed<SideInfo>();
    d->ScaleFactorInfoPS = allocZeroed<ScaleFactorInfo>();
    d->HuffmanInfoPS = allocZeroed<HuffmanInfo>();
    d->DequantInfoPS = allocZeroed<DequantInfo>();
    d->IMDCTInfoPS = allocZeroed<IMDCTInfo>();
    d->SubbandInfoPS = allocZeroed<SubbandInfo>();
    if (!hasWorkAreas(d)) {
        MP3FreeDecoder(d);
        return nullptr;
    }
    return d;
}

void MP3FreeDecoder(HMP3Decoder hMP3Decoder) {
    MP3DecInfo *d = hMP3Decoder;
    if (!d) return;
    std::free(d->FrameHeaderPS);
    std::free(d->SideInfoPS);
    std::free(d->ScaleFactorInfoPS);
    std::free(d->HuffmanInfoPS);
    std::free(d->DequantInfoPS);
    std::free(d->IMDCTInfoPS);
    std::free(d->SubbandInfoPS);
    std::free(d);
}

int MP3FindSyncWord(const unsigned char *buf, int nBytes) {
    if (!buf) return -1;
    for (int i = 0; i < nBytes - 1; ++i)
        if (buf[i] == 0xFF && buf[i + 1] >= 0xE0) return i;
    return -1;
}

int MP3GetNextFrameInfo(HMP3Decoder hMP3Decoder, MP3FrameInfo *mp3FrameInfo, const unsigned char *buf) {
    MP3DecInfo *d = hMP3Decoder;
    if (!d) return ERR_MP3_NULL_POINTER;
    if (lmp3_UnpackFrameHeader(d, buf) < 0 || d->layer != 3) return ERR_MP3_INVALID_FRAMEHEADER;
    MP3GetLastFrameInfo(d, mp3FrameInfo);
    return ERR_MP3_NONE;
}

void MP3GetLastFrameInfo(HMP3Decoder hMP3Decoder, MP3FrameInfo *mp3FrameInfo) {
    if (!mp3FrameInfo) return;
    const MP3DecInfo *d = hMP3Decoder;
    if (!d || d->layer != 3) {
        *mp3FrameInfo = MP3FrameInfo{};
        return;
    }
    mp3FrameInfo->bitrate = d->bitrate;
    mp3FrameInfo->nChans = d->nChans;
    mp3FrameInfo->samprate = d->samprate;
    mp3FrameInfo->bitsPerSample = 16;
    mp3FrameInfo->outputSamps = d->nChans * lmp3_samplesPerFrameTab[d->version][d->layer - 1];
    mp3FrameInfo->layer = d->layer;
    mp3FrameInfo->version = d->version;
}

void MP3ClearBadFrame(HMP3Decoder hMP3Decoder, short *outbuf, int downSampleFactor) {
    const MP3DecInfo *d = hMP3Decoder;
    if (!d || !outbuf || downSampleFactor < 1) return;
    const int n = d->nGrans * d->nGranSamps * d->nChans / downSampleFactor;
    if (n > 0) std::memset(outbuf, 0, sizeof(short) * static_cast<size_t>(n));
}

int MP3Decode(HMP3Decoder hMP3Decoder, unsigned char **inbuf, int *bytesLeft, short *outbuf, int useSize,
              char getSizeOnly, int downSampleFactor) {
    MP3DecInfo *d = hMP3Decoder;
    if (!d || !hasWorkAreas(d) || !inbuf || !*inbuf || !bytesLeft || !outbuf) return ERR_MP3_NULL_POINTER;
    if (downSampleFactor < 1) return ERR_MP3_INVALID_SUBBAND;

    // Header and side information must both be at hand before either is read.
    const int overhead = frameOverheadBytes(*inbuf, *bytesLeft);
    if (overhead < 0) return ERR_MP3_INVALID_FRAMEHEADER;
    if (overhead == 0) return ERR_MP3_INDATA_UNDERFLOW;

    const unsigned char *frameStart = *inbuf;
    const int headerBytes = lmp3_UnpackFrameHeader(d, frameStart);
    // A Layer I granule (192 or 384 samples) cannot hold the 576 a Layer III granule writes.
    if (headerBytes < 0 || d->layer == 1) return ERR_MP3_INVALID_FRAMEHEADER;
    consume(inbuf, bytesLeft, headerBytes);
    const int sideBytes = lmp3_UnpackSideInfo(d, *inbuf);
    if (sideBytes < 0) return clearAndFail(d, outbuf, downSampleFactor, ERR_MP3_INVALID_SIDEINFO);
    consume(inbuf, bytesLeft, sideBytes);

    const int freeErr = settleFreeBitrate(d, frameStart, *inbuf, *bytesLeft, headerBytes + sideBytes);
    if (freeErr) return clearAndFail(d, outbuf, downSampleFactor, freeErr);

    const unsigned char *mainPtr = nullptr;
    const int mainErr = takeMainData(d, inbuf, bytesLeft, outbuf, useSize, downSampleFactor,
                                     headerBytes + sideBytes, &mainPtr);
    if (mainErr) return mainErr;
    if (getSizeOnly) return ERR_MP3_NONE;
    return decodeGranules(d, mainPtr, outbuf, downSampleFactor);
}
