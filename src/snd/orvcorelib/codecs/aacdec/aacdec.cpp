// Public calls of the AAC-LC decoder and the per-frame element loop.
#include "codecs/aacdec/aacdec.h"

#include "codecs/aacdec/aac_internal.h"
#include "orvsys/orvconfig.h"

#include <cstring>
#include <new>

using namespace aacdec;

namespace {

constexpr int kAdtsHeaderBytes = 7;

AACDecInfo *instance(HAACDecoder h) {
    auto *dec = static_cast<AACDecInfo *>(h);
    return dec && dec->psInfoBase ? dec : nullptr;
}

bool isZero(const u8 *p, int n) {
    for (int i = 0; i < n; i++) {
        if (p[i]) return false;
    }
    return true;
}

// Counts the output channels of the frame at bsi by walking its elements.
int countFrameChannels(AACDecInfo &dec, BitStreamInfo bsi) {
    int channels = 0;
    do {
        if (laac_DecodeNextElement(&dec, bsi)) return 0;
        const int n = laac_elementNumChans[dec.currBlockID];
        for (int ch = 0; ch < n; ch++) {
            if (laac_DecodeNoiselessData(&dec, bsi, ch)) return 0;
        }
        channels += n;
    } while (dec.currBlockID != AAC_ID_END);
    return channels;
}

// Reads the ADTS header at the first sync word; settles the channel count of a frame
// whose header leaves it open.
int readAdtsFrameStart(AACDecInfo &dec, BitStreamInfo &bsi, const u8 *buf, int nBytes) {
    const int sync = AACFindSyncWord(buf, nBytes);
    if (sync < 0) return ERR_AAC_INDATA_UNDERFLOW;
    bsi.bitPos = s64{sync} * 8;
    const int err = laac_UnpackADTSHeader(dec, bsi);
    if (err) return err;
    PSInfoBase &ps = *dec.psInfoBase;
    if (ps.nChans == -1) {
        const int channels = countFrameChannels(dec, bsi);
        dec.prevBlockID = dec.currBlockID = AAC_ID_INVALID;
        if (channels <= 0) return ERR_AAC_CHANNEL_MAP;
        ps.nChans = channels;
        ps.useImpChanMap = 1;
        dec.nChans = channels;
    }
    return ERR_AAC_NONE;
}

// Spectral tools of one channel after its side and spectral data are read.
int processChannel(AACDecInfo &dec, int ch, int chOut, short *outbuf) {
    if (laac_PNS(&dec, ch)) return ERR_AAC_PNS;
    if (dec.sbDeinterleaveReqd[ch]) dec.sbDeinterleaveReqd[ch] = 0; // short windows stay in order
    if (laac_TNSFilter(&dec, ch)) return ERR_AAC_TNS;
    if (laac_IMDCT(&dec, ch, chOut, outbuf)) return ERR_AAC_IMDCT;
    return ERR_AAC_NONE;
}

struct FrameOptions {
    bool sizeOnly;
    bool mono;     // forced mono: only the first channel is processed
    bool monoSkip; // ... and the rest of the frame is not read at all
};

int decodeElements(AACDecInfo &dec, BitStreamInfo &bsi, short *outbuf, const FrameOptions &opt) {
    PSInfoBase &ps = *dec.psInfoBase;
    int baseChan = 0;
    do {
        int err = laac_DecodeNextElement(&dec, bsi);
        if (err) return err;
        const int elemChans = laac_elementNumChans[dec.currBlockID];
        if (baseChan + elemChans > AAC_MAX_NCHANS) return ERR_AAC_NCHANS_TOO_HIGH;
        // The output buffer only has room for the stream's channels.
        if (baseChan + elemChans > ps.nChans) return ERR_AAC_CHANNEL_MAP;
        const int readChans = opt.monoSkip && elemChans > 1 ? 1 : elemChans;
        for (int ch = 0; ch < readChans; ch++) {
            const s64 left = s64{bsi.nBytes} * 8 - bsi.bitPos;
            if (left < 0) return ERR_AAC_INDATA_UNDERFLOW;
            if (CheckIfZeroed(bsi.buf + (bsi.bitPos >> 3), static_cast<int>(left >> 3)))
                return ERR_AAC_INVALID_FRAME;
            if ((err = laac_DecodeNoiselessData(&dec, bsi, ch))) return err;
            if (laac_Dequantize(&dec, ch)) return ERR_AAC_DEQUANT;
        }
        const bool outputHere = baseChan == 0 || !opt.mono;
        if (!opt.sizeOnly && elemChans > 0 && outputHere) {
            if (dec.currBlockID == AAC_ID_CPE && laac_StereoProcess(&dec, opt.mono))
                return ERR_AAC_STEREO_PROCESS;
            const int outChans = opt.mono ? 1 : elemChans;
            for (int ch = 0; ch < outChans; ch++) {
                if ((err = processChannel(dec, ch, baseChan + ch, outbuf))) return err;
            }
        }
        baseChan += elemChans;
        if (opt.monoSkip && elemChans > 0) break;
    } while (dec.currBlockID != AAC_ID_END);
    return ERR_AAC_NONE;
}

} // namespace

HAACDecoder AACInitDecoder() {
    auto *dec = new (std::nothrow) AACDecInfo{};
    if (!dec) return nullptr;
    dec->psInfoBase = new (std::nothrow) PSInfoBase{};
    if (!dec->psInfoBase) {
        delete dec;
        return nullptr;
    }
    return dec;
}

void AACFreeDecoder(HAACDecoder hAACDecoder) {
    auto *dec = static_cast<AACDecInfo *>(hAACDecoder);
    if (!dec) return;
    delete dec->psInfoBase;
    delete dec;
}

int AACFindSyncWord(const unsigned char *buf, int nBytes) {
    if (!buf) return -1;
    for (int i = 0; i < nBytes - 1; i++) {
        if (buf[i] == 0xFF && (buf[i + 1] & 0xF0) == 0xF0) return i;
    }
    return -1;
}

void AACGetLastFrameInfo(HAACDecoder hAACDecoder, AACFrameInfo *info) {
    if (!info) return;
    const AACDecInfo *dec = instance(hAACDecoder);
    if (!dec) {
        *info = AACFrameInfo{};
        return;
    }
    info->bitRate = dec->bitRate;
    info->nChans = dec->nChans;
    info->sampRateCore = dec->sampRate;
    info->sampRateOut = dec->sampRate * (dec->sbrEnabled ? 2 : 1);
    info->bitsPerSample = 16;
    info->outputSamps = dec->nChans * AAC_MAX_NSAMPS;
    info->profile = dec->profile;
    info->tnsUsed = dec->tnsUsed;
    info->pnsUsed = dec->pnsUsed;
}

int AACFlushCodec(HAACDecoder hAACDecoder) {
    AACDecInfo *dec = instance(hAACDecoder);
    if (!dec) return ERR_AAC_NULL_POINTER;
    dec->currInstTag = -1;
    dec->prevBlockID = AAC_ID_INVALID;
    dec->currBlockID = AAC_ID_INVALID;
    dec->sbDeinterleaveReqd[0] = dec->sbDeinterleaveReqd[1] = 0;
    dec->adtsBlocksLeft = 0;
    dec->tnsUsed = 0;
    dec->pnsUsed = 0;
    PSInfoBase &ps = *dec->psInfoBase;
    std::memset(ps.overlap, 0, sizeof(ps.overlap));
    std::memset(ps.prevWinShape, 0, sizeof(ps.prevWinShape));
    return ERR_AAC_NONE;
}

int AACSetRawBlockParams(HAACDecoder hAACDecoder, int copyLast, AACFrameInfo *info) {
    AACDecInfo *dec = instance(hAACDecoder);
    if (!dec) return ERR_AAC_NULL_POINTER;
    PSInfoBase &ps = *dec->psInfoBase;
    dec->format = AAC_FF_RAW;
    if (!copyLast) {
        if (!info) return ERR_AAC_NULL_POINTER;
        int idx = 0;
        while (idx < kNumSampRates && laac_sampRateTab[idx] != info->sampRateCore) idx++;
        if (idx == kNumSampRates) return ERR_AAC_INVALID_FRAME;
        ps.nChans = info->nChans;
        ps.sampRateIdx = idx;
        dec->profile = info->profile;
    }
    dec->nChans = ps.nChans;
    if (ps.sampRateIdx >= 0 && ps.sampRateIdx < kNumSampRates)
        dec->sampRate = laac_sampRateTab[ps.sampRateIdx];
    if (dec->profile != kProfileLC || ps.sampRateIdx < 0 || ps.sampRateIdx >= kNumSampRates)
        return ERR_AAC_RAWBLOCK_PARAMS;
    return ERR_AAC_NONE;
}

int CheckIfZeroed(const void *ptr, int sizeInBytes) {
    const auto *p = static_cast<const u8 *>(ptr);
    if (sizeInBytes <= 0) return 1;
    if (!p) return 0;
    // Quick looks at the start, the middle and the end settle most frames at once.
    const int n = sizeInBytes;
    const int q = n < 4 ? n : 4;
    if (!isZero(p, q) || !isZero(p + (n - q) / 2, q) || !isZero(p + n - q, q)) return 0;
    return isZero(p, n) ? 1 : 0;
}

int AACDecode(HAACDecoder hAACDecoder, unsigned char **inbuf, int *bytesLeft, short *outbuf, int getSizeOnly,
              int forceMono) {
    AACDecInfo *dec = instance(hAACDecoder);
    if (!dec || !inbuf || !*inbuf || !bytesLeft || (!outbuf && !getSizeOnly)) return ERR_AAC_NULL_POINTER;
    PSInfoBase &ps = *dec->psInfoBase;
    const u8 *buf = *inbuf;
    const int nBytes = *bytesLeft;
    if (nBytes < 0) return ERR_AAC_INDATA_UNDERFLOW;
    BitStreamInfo bsi{};
    laac_SetBitstreamPointer(bsi, nBytes, buf);

    if (dec->format == AAC_FF_Unknown) {
        if (nBytes < 4) return ERR_AAC_INDATA_UNDERFLOW;
        if (std::memcmp(buf, "ADIF", 4) == 0) {
            dec->format = AAC_FF_ADIF;
            const int err = laac_UnpackADIFHeader(*dec, bsi);
            if (err) return err;
        } else {
            dec->format = AAC_FF_ADTS;
        }
    }
    if (dec->format == AAC_FF_RAW) {
        dec->prevBlockID = dec->currBlockID = AAC_ID_INVALID;
        dec->bitRate = 0;
        dec->sbrEnabled = 0;
    }
    bool headerHere = false;
    if (dec->format == AAC_FF_ADTS) {
        if (dec->adtsBlocksLeft == 0) {
            const int err = readAdtsFrameStart(*dec, bsi, buf, nBytes);
            if (err) return err;
            headerHere = true;
        }
        dec->adtsBlocksLeft--;
    }
    if (ps.nChans < 1 || ps.nChans > AAC_MAX_NCHANS) return ERR_AAC_NCHANS_TOO_HIGH;
    dec->nChans = ps.nChans;
    dec->tnsUsed = 0;
    dec->pnsUsed = 0;

    FrameOptions opt{};
    opt.sizeOnly = getSizeOnly != 0;
    opt.mono = orv::kDesktopConfig && forceMono && ps.nChans > 1;
    // An ADTS frame says where the next one starts, so forced mono may stop reading early;
    // other streams must be read to the end of the block to find the next one.
    opt.monoSkip = opt.mono && headerHere;
    int err = decodeElements(*dec, bsi, outbuf, opt);
    if (err) return err;

    s64 consumed;
    if (opt.monoSkip) {
        const int frameLength = ps.fhADTS.frameLength;
        if (frameLength < kAdtsHeaderBytes) return ERR_AAC_INVALID_ADTS_HEADER;
        if (frameLength > nBytes) return ERR_AAC_INDATA_UNDERFLOW;
        consumed = frameLength;
        dec->adtsBlocksLeft = 0; // any further blocks of the frame are skipped with it
    } else {
        laac_ByteAlignBitstream(bsi);
        if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;
        consumed = bsi.bitPos >> 3;
    }
    dec->frameCount++;
    *inbuf += consumed;
    *bytesLeft -= static_cast<int>(consumed);
    return ERR_AAC_NONE;
}
