// The individual channel stream: ICS information, section data, scale factors, pulse, TNS
// and gain control data, and the Huffman-coded spectral data. Every count, band and index
// read here is checked against the arrays it lands in; a bad value fails the frame.
#include "codecs/aacdec/aac_internal.h"

#include <cstring>

namespace aacdec {

namespace {

constexpr int kMaxEscPrefix = 8; // escape values stop at 2^13 - 1

constexpr int kScaleLut = 11; // the scale-factor book's place in kHuffLut

int decodeScaleDelta(BitStreamInfo &bsi) {
    const u32 bits = laac_GetBitsNoAdvance32(bsi);
    const u16 e = kHuffLut[(kScaleLut << kHuffLutBits) + (bits >> (32 - kHuffLutBits))];
    if (e) {
        laac_AdvanceBitstream(bsi, e >> 9);
        return (e & 511) - 60;
    }
    int val = 0;
    laac_AdvanceBitstream(bsi, laac_DecodeHuffmanScalar(nullptr, kHuffScaleInfo, bits, &val));
    return kHuffScaleSymbols[val] - 60;
}

int readSectionData(BitStreamInfo &bsi, const ICSInfo &ics, u8 *sfbCodeBook) {
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    const int lenBits = isShort ? 3 : 5;
    const u32 lenEsc = (1u << lenBits) - 1;
    for (int g = 0; g < ics.numWinGroup; g++) {
        u8 *cb = sfbCodeBook + g * ics.maxSFB;
        int sfb = 0;
        while (sfb < ics.maxSFB) {
            const u8 book = static_cast<u8>(laac_GetBits(bsi, 4));
            int len = 0;
            u32 step;
            while ((step = laac_GetBits(bsi, lenBits)) == lenEsc) {
                len += static_cast<int>(lenEsc);
                if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;
            }
            len += static_cast<int>(step);
            if (sfb + len > ics.maxSFB) return ERR_AAC_INVALID_FRAME;
            if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;
            for (int i = 0; i < len; i++) cb[sfb + i] = book;
            sfb += len;
        }
    }
    return ERR_AAC_NONE;
}

void readScaleFactors(BitStreamInfo &bsi, const ICSInfo &ics, int globalGain, const u8 *sfbCodeBook,
                      s16 *scaleFactors) {
    int gain = globalGain;
    int isPos = 0;
    int noiseNrg = globalGain - 90;
    bool firstNoise = true;
    const int n = ics.numWinGroup * ics.maxSFB;
    for (int i = 0; i < n; i++) {
        const int cb = sfbCodeBook[i];
        int sf = 0;
        if (cb == kCbIntensity || cb == kCbIntensity2) {
            isPos += decodeScaleDelta(bsi);
            sf = isPos;
        } else if (cb == kCbNoise) {
            if (firstNoise) {
                firstNoise = false;
                noiseNrg += static_cast<int>(laac_GetBits(bsi, 9)) - 256;
            } else {
                noiseNrg += decodeScaleDelta(bsi);
            }
            sf = noiseNrg;
        } else if (cb != kCbZero && cb != kCbReserved) {
            gain += decodeScaleDelta(bsi);
            sf = gain;
        }
        // Deltas of at most +-60 over 120 bands keep every value inside 16 bits.
        scaleFactors[i] = static_cast<s16>(sf);
    }
}

int readPulseData(BitStreamInfo &bsi, const SfbLayout &bands, PulseInfo &pi) {
    pi.numPulse = static_cast<u8>(laac_GetBits(bsi, 2) + 1);
    pi.startSFB = static_cast<u8>(laac_GetBits(bsi, 6));
    for (int i = 0; i < pi.numPulse; i++) {
        pi.offset[i] = static_cast<u8>(laac_GetBits(bsi, 5));
        pi.amp[i] = static_cast<u8>(laac_GetBits(bsi, 4));
    }
    if (pi.startSFB >= bands.numBands) return ERR_AAC_INVALID_FRAME;
    int k = bands.offsets[pi.startSFB];
    for (int i = 0; i < pi.numPulse; i++) {
        k += pi.offset[i];
        if (k >= AAC_MAX_NSAMPS) return ERR_AAC_INVALID_FRAME;
    }
    return ERR_AAC_NONE;
}

int readTnsData(BitStreamInfo &bsi, const ICSInfo &ics, int profile, TNSInfo &ti) {
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    const int numWin = isShort ? 8 : 1;
    const int maxOrder = isShort ? laac_tnsMaxOrderShort[profile] : laac_tnsMaxOrderLong[profile];
    int filt = 0;
    int nCoef = 0;
    for (int w = 0; w < numWin; w++) {
        ti.numFilt[w] = static_cast<u8>(laac_GetBits(bsi, isShort ? 1 : 2));
        ti.coefRes[w] = 0;
        if (ti.numFilt[w]) ti.coefRes[w] = static_cast<u8>(laac_GetBits(bsi, 1));
        for (int f = 0; f < ti.numFilt[w]; f++, filt++) {
            if (filt >= 8) return ERR_AAC_INVALID_FRAME;
            ti.length[filt] = static_cast<u8>(laac_GetBits(bsi, isShort ? 4 : 6));
            ti.order[filt] = static_cast<u8>(laac_GetBits(bsi, isShort ? 3 : 5));
            ti.dir[filt] = 0;
            const int order = ti.order[filt];
            if (!order) continue;
            if (order > maxOrder || nCoef + order > kMaxTnsCoefs) return ERR_AAC_INVALID_FRAME;
            ti.dir[filt] = static_cast<u8>(laac_GetBits(bsi, 1));
            const int compress = static_cast<int>(laac_GetBits(bsi, 1));
            const int bits = ti.coefRes[w] + 3 - compress;
            for (int i = 0; i < order; i++) {
                const u32 raw = laac_GetBits(bsi, bits);
                // Sign-extend the compressed value.
                const s32 v = static_cast<s32>(raw) - ((raw >> (bits - 1)) ? (1 << bits) : 0);
                ti.coef[nCoef++] = static_cast<s8>(v);
            }
        }
    }
    return ERR_AAC_NONE;
}

void readGainControlData(BitStreamInfo &bsi, const ICSInfo &ics, GainControlInfo &gc) {
    gc.maxBand = static_cast<u8>(laac_GetBits(bsi, 2));
    int numWin = 1;
    int locBitsFirst = 5, locBitsRest = 5;
    switch (ics.winSequence) {
    case kWinSeqLongStart:
        numWin = 2;
        locBitsFirst = 4;
        locBitsRest = 2;
        break;
    case kWinSeqEightShort:
        numWin = 8;
        locBitsFirst = 2;
        locBitsRest = 2;
        break;
    case kWinSeqLongStop:
        numWin = 2;
        locBitsFirst = 4;
        locBitsRest = 5;
        break;
    default:
        break;
    }
    for (int bd = 0; bd < gc.maxBand; bd++) {
        for (int wd = 0; wd < numWin; wd++) {
            gc.adjNum[bd][wd] = static_cast<u8>(laac_GetBits(bsi, 3));
            for (int ad = 0; ad < gc.adjNum[bd][wd]; ad++) {
                gc.alevCode[bd][wd][ad] = static_cast<u8>(laac_GetBits(bsi, 4));
                gc.alocCode[bd][wd][ad] =
                    static_cast<u8>(laac_GetBits(bsi, wd == 0 ? locBitsFirst : locBitsRest));
            }
        }
    }
}

// Reads the escape sequence that follows a magnitude of 16 in codebook 11.
int readEscape(BitStreamInfo &bsi, int *mag) {
    int prefix = 0;
    while (laac_GetBits(bsi, 1)) {
        if (++prefix > kMaxEscPrefix) return ERR_AAC_INVALID_FRAME;
    }
    *mag = (1 << (prefix + 4)) + static_cast<int>(laac_GetBits(bsi, prefix + 4));
    return ERR_AAC_NONE;
}

// Decodes one codeword of a spectral book; *len gets its length and *after the bits that
// follow it, left-aligned (at least 16 of them are valid: no spectral code is longer).
inline int peekSymbol(const BitStreamInfo &bsi, int cb, int *len, u32 *after) {
    const u32 bits = laac_GetBitsNoAdvance32(bsi);
    const u16 e = kHuffLut[((cb - 1) << kHuffLutBits) + (bits >> (32 - kHuffLutBits))];
    int sym;
    if (e) {
        *len = e >> 9;
        sym = e & 511;
    } else {
        const HuffInfo &info = kHuffSpecInfo[cb - 1];
        *len = laac_DecodeHuffmanScalar(kHuffSpecSymbols + info.offset, info, bits, &sym);
    }
    *after = bits << *len;
    return sym;
}

// Applies sign bits (taken from the top of *signs, one per non-zero value) to v[0..n).
inline int takeSigns(s32 *v, int n, u32 signs) {
    int used = 0;
    for (int j = 0; j < n; j++) {
        if (!v[j]) continue;
        if ((signs << used) & 0x80000000u) v[j] = -v[j];
        used++;
    }
    return used;
}

// Decodes `count` values (a multiple of the book's tuple size) of codebook cb into out.
int decodeSpectralRun(BitStreamInfo &bsi, int cb, s32 *out, int count) {
    int len = 0;
    u32 after = 0;
    if (cb <= 4) {
        const bool isSigned = cb <= 2;
        for (int i = 0; i < count; i += 4) {
            const int s = peekSymbol(bsi, cb, &len, &after);
            s32 *v = out + i;
            v[0] = s / 27;
            v[1] = (s / 9) % 3;
            v[2] = (s / 3) % 3;
            v[3] = s % 3;
            if (isSigned) {
                for (int j = 0; j < 4; j++) v[j] -= 1;
            } else {
                len += takeSigns(v, 4, after);
            }
            laac_AdvanceBitstream(bsi, len);
        }
        return ERR_AAC_NONE;
    }
    if (cb <= 6) {
        for (int i = 0; i < count; i += 2) {
            const int s = peekSymbol(bsi, cb, &len, &after);
            out[i] = s / 9 - 4;
            out[i + 1] = s % 9 - 4;
            laac_AdvanceBitstream(bsi, len);
        }
        return ERR_AAC_NONE;
    }
    const int mod = cb <= 8 ? 8 : (cb <= 10 ? 13 : 17);
    for (int i = 0; i < count; i += 2) {
        const int s = peekSymbol(bsi, cb, &len, &after);
        s32 *v = out + i;
        v[0] = s / mod;
        v[1] = s % mod;
        const bool esc0 = v[0] == 16, esc1 = v[1] == 16;
        len += takeSigns(v, 2, after);
        laac_AdvanceBitstream(bsi, len);
        if (cb == kCbEsc && (esc0 || esc1)) {
            int mag;
            if (esc0) {
                if (readEscape(bsi, &mag)) return ERR_AAC_INVALID_FRAME;
                v[0] = v[0] < 0 ? -mag : mag;
            }
            if (esc1) {
                if (readEscape(bsi, &mag)) return ERR_AAC_INVALID_FRAME;
                v[1] = v[1] < 0 ? -mag : mag;
            }
        }
    }
    return ERR_AAC_NONE;
}

bool isSpectralBook(int cb) {
    return cb >= 1 && cb <= kCbEsc;
}

} // namespace

int laac_DecodeHuffmanScalar(const u16 *table, const HuffInfo &info, u32 bitBuf, int *val) {
    u32 start = 0;
    int offset = 0;
    for (int len = 1; len <= info.maxBits; len++) {
        const u32 count = info.count[len - 1];
        const u32 code = bitBuf >> (32 - len);
        if (code - start < count) {
            const int index = offset + static_cast<int>(code - start);
            *val = table ? table[index] : index;
            return len;
        }
        offset += static_cast<int>(count);
        start = (start + count) << 1;
    }
    // Unreachable for complete codebooks; keeps a caller's index in range regardless.
    *val = 0;
    return info.maxBits;
}

int laac_DecodeICSInfo(BitStreamInfo &bsi, ICSInfo &ics, int sampRateIdx) {
    ics.icsResBit = static_cast<u8>(laac_GetBits(bsi, 1));
    ics.winSequence = static_cast<u8>(laac_GetBits(bsi, 2));
    ics.winShape = static_cast<u8>(laac_GetBits(bsi, 1));
    ics.predictorDataPresent = 0;
    if (ics.winSequence == kWinSeqEightShort) {
        ics.maxSFB = static_cast<u8>(laac_GetBits(bsi, 4));
        ics.sfGroup = static_cast<u8>(laac_GetBits(bsi, 7));
        ics.numWinGroup = 1;
        ics.winGroupLen[0] = 1;
        for (int bit = 6; bit >= 0; bit--) {
            if ((ics.sfGroup >> bit) & 1) {
                ics.winGroupLen[ics.numWinGroup - 1]++;
            } else {
                ics.winGroupLen[ics.numWinGroup++] = 1;
            }
        }
        if (ics.maxSFB > laac_sfBandTabShort[sampRateIdx].numBands) return ERR_AAC_INVALID_FRAME;
        return ERR_AAC_NONE;
    }
    ics.maxSFB = static_cast<u8>(laac_GetBits(bsi, 6));
    ics.numWinGroup = 1;
    ics.winGroupLen[0] = 1;
    if (ics.maxSFB > laac_sfBandTabLong[sampRateIdx].numBands) return ERR_AAC_INVALID_FRAME;
    ics.predictorDataPresent = static_cast<u8>(laac_GetBits(bsi, 1));
    if (ics.predictorDataPresent) {
        // Main-profile prediction: read so the stream stays in step, never applied.
        ics.predictorReset = static_cast<u8>(laac_GetBits(bsi, 1));
        if (ics.predictorReset) ics.predictorResetGroupNum = static_cast<u8>(laac_GetBits(bsi, 5));
        const int n = ics.maxSFB < laac_predSFBMax[sampRateIdx] ? ics.maxSFB : laac_predSFBMax[sampRateIdx];
        for (int sfb = 0; sfb < n; sfb++) ics.predictionUsed[sfb] = static_cast<u8>(laac_GetBits(bsi, 1));
    }
    return ERR_AAC_NONE;
}

int laac_DecodeNoiselessData(AACDecInfo *dec, BitStreamInfo &bsi, int ch) {
    if (!dec || !dec->psInfoBase) return ERR_AAC_NULL_POINTER;
    PSInfoBase &ps = *dec->psInfoBase;
    ICSInfo &ics = ps.icsInfo[ch];
    const int globalGain = static_cast<int>(laac_GetBits(bsi, 8));
    if (!ps.commonWin) {
        const int err = laac_DecodeICSInfo(bsi, ics, ps.sampRateIdx);
        if (err) return err;
    }
    int err = readSectionData(bsi, ics, ps.sfbCodeBook[ch]);
    if (err) return err;
    readScaleFactors(bsi, ics, globalGain, ps.sfbCodeBook[ch], ps.scaleFactors[ch]);

    const bool isShort = ics.winSequence == kWinSeqEightShort;
    const SfbLayout &bands = bandLayout(ps, ics);
    PulseInfo &pi = ps.pulseInfo[ch];
    pi.pulseDataPresent = static_cast<u8>(laac_GetBits(bsi, 1));
    if (pi.pulseDataPresent) {
        if (isShort) return ERR_AAC_INVALID_FRAME; // pulses belong to long windows only
        if ((err = readPulseData(bsi, bands, pi))) return err;
    }
    TNSInfo &ti = ps.tnsInfo[ch];
    ti.tnsDataPresent = static_cast<u8>(laac_GetBits(bsi, 1));
    if (ti.tnsDataPresent && (err = readTnsData(bsi, ics, kProfileLC, ti))) return err;
    GainControlInfo &gc = ps.gainControlInfo[ch];
    gc.gainControlDataPresent = static_cast<u8>(laac_GetBits(bsi, 1));
    if (gc.gainControlDataPresent) readGainControlData(bsi, ics, gc);
    if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;

    s32 *coef = ps.coef[ch];
    std::memset(coef, 0, sizeof(ps.coef[ch]));
    int win = 0;
    for (int g = 0; g < ics.numWinGroup; g++) {
        const int groupLen = ics.winGroupLen[g];
        for (int sfb = 0; sfb < ics.maxSFB; sfb++) {
            const int cb = ps.sfbCodeBook[ch][g * ics.maxSFB + sfb];
            const int start = bands.offsets[sfb];
            const int width = bands.offsets[sfb + 1] - start;
            if (!isSpectralBook(cb)) continue;
            // Short windows of a group come band by band, window after window.
            for (int w = 0; w < groupLen; w++) {
                err = decodeSpectralRun(bsi, cb, coef + (win + w) * 128 * isShort + start, width);
                if (err) return err;
            }
            if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;
        }
        win += groupLen;
    }
    if (pi.pulseDataPresent) {
        int k = bands.offsets[pi.startSFB];
        for (int i = 0; i < pi.numPulse; i++) {
            k += pi.offset[i];
            coef[k] += coef[k] > 0 ? pi.amp[i] : -pi.amp[i];
        }
    }
    return laac_BitsOverrun(bsi) ? ERR_AAC_INDATA_UNDERFLOW : ERR_AAC_NONE;
}

} // namespace aacdec
