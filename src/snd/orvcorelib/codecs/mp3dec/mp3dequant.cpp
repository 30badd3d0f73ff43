// Dequantisation of one granule: x^(4/3) times 2^(exponent / 4) per value, short-block
// reordering, and the stereo tools between the channels.
#include "codecs/mp3dec/mp3common.h"

#include "orvmath/orvmath.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstring>

namespace {

// Q23 scaling of the output in quarter steps of the exponent, minus the standard's 210.
constexpr int kGainOffset = 4 * 23 - 210;

// value x 2^shift for a positive value, 0 when shifted out, 0x7FFFFFFF when it would overflow.
s32 scaleByPow2(s32 value, int shift) {
    if (shift >= 0) return orv::shlSat32(value, shift);
    return shift <= -31 ? 0 : value >> -shift;
}

// mag^(4/3) x 2^(q / 4) in the decoder's fixed point for a magnitude of 64 or more (smaller
// ones come from the table): mag = f x 2^e with f in [0.5, 1), f^(4/3) from the polynomial in
// u = 2f - 1, and 2^(4e/3) = 2^a x 2^(r/3).
s32 largeMagnitude(u32 mag, int qi, int qf) {
    const int lz = static_cast<int>(orvmath_clz(mag));
    const int e = 32 - lz;
    const s32 u = static_cast<s32>((mag << lz) - 0x80000000u);
    s32 acc = lmp3_pow43Poly[9];
    for (int j = 8; j >= 0; --j) acc = lmp3_pow43Poly[j] + static_cast<s32>(orv::mul64(acc, u) >> 31);
    const int a = (4 * e) / 3;
    const int r = 4 * e - 3 * a;
    const s32 prod = static_cast<s32>(orv::mul64(acc, lmp3_pow2ThirdQuarter[r][qf]) >> 31); // Q28
    return scaleByPow2(prod, a + qi - 28);
}

// How the table values of magnitudes below 64 reach the output for one exponent: shifted
// right (the usual case), shifted out entirely, or shifted left with saturation.
enum class SmallShift { right, out, left };

// Dequantises count sign-magnitude values from src into dst (every stride-th word; dst may be
// src) with the exponent q in quarter steps: |v|^(4/3) x 2^(q / 4), signed. The exponent is
// split once per run, not per value. Returns the OR of the output magnitudes.
template <SmallShift K>
u32 dequantRun(const s32 *src, s32 *dst, int stride, int count, int q) {
    const int qi = q >> 2; // floor for negative q as well
    const int qf = q & 3;
    const s32 *row = lmp3_pow43[qf];
    const int shift = qi - 22;
    u32 magOr = 0;
    for (int j = 0; j < count; ++j) {
        const u32 raw = static_cast<u32>(src[j]);
        const u32 mag = raw & 0x7FFFFFFFu;
        s32 result;
        if (mag < 64) {
            if constexpr (K == SmallShift::right) result = row[mag] >> -shift;
            if constexpr (K == SmallShift::out) result = 0;
            if constexpr (K == SmallShift::left) result = orv::shlSat32(row[mag], shift);
        } else {
            result = largeMagnitude(mag, qi, qf);
        }
        magOr |= static_cast<u32>(result);
        const s32 negate = -static_cast<s32>(raw >> 31);
        dst[j * stride] = (result ^ negate) - negate;
    }
    return magOr;
}

u32 dequantRun(const s32 *src, s32 *dst, int stride, int count, int q) {
    const int shift = (q >> 2) - 22;
    if (shift < 0 && shift > -31) return dequantRun<SmallShift::right>(src, dst, stride, count, q);
    if (shift < 0) return dequantRun<SmallShift::out>(src, dst, stride, count, q);
    return dequantRun<SmallShift::left>(src, dst, stride, count, q);
}

// Dequantises the long bands [0, nBands) up to nz; returns one past the last band holding a
// non-zero value.
int dequantLong(s32 *buf, int nBands, int nz, int gainQ, int sfShift, const SideInfoSub *sis,
                const ScaleFactorInfoSub *sfis, const SFBandTable *sfb, u32 *magOr) {
    int cbEnd = 0;
    for (int band = 0; band < nBands; ++band) {
        const int start = sfb->l[band];
        if (start >= nz) break;
        const int end = std::min<int>(sfb->l[band + 1], nz);
        const int pre = sis->preFlag ? lmp3_preTab[band] : 0;
        const int q = gainQ - ((sfis->l[band] + pre) << sfShift);
        const u32 bandOr = dequantRun(buf + start, buf + start, 1, end - start, q);
        if (bandOr) cbEnd = band + 1;
        *magOr |= bandOr;
    }
    return cbEnd;
}

// Dequantises the short bands from firstBand and reorders each band from window-after-window
// into window-interleaved order (3 x line + window). Returns the end of the processed values.
int dequantShort(s32 *buf, s32 *workBuf, int firstBand, int nz, int gainQ, int sfShift,
                 const SideInfoSub *sis, const ScaleFactorInfoSub *sfis, const SFBandTable *sfb,
                 CriticalBandInfo *cbi, u32 *magOr) {
    int end = 3 * sfb->s[firstBand];
    for (int band = firstBand; band < 13; ++band) {
        const int base = 3 * sfb->s[band];
        if (base >= nz) break;
        const int width = sfb->s[band + 1] - sfb->s[band];
        for (int w = 0; w < 3; ++w) {
            const int q = gainQ - 8 * sis->subBlockGain[w] - (sfis->s[band][w] << sfShift);
            const u32 bandOr = dequantRun(buf + base + w * width, workBuf + w, 3, width, q);
            if (bandOr) cbi->cbEndS[w] = band + 1;
            *magOr |= bandOr;
        }
        std::memcpy(buf + base, workBuf, sizeof(s32) * 3 * width);
        end = base + 3 * width;
    }
    return end;
}

} // namespace

int lmp3_DequantChannel(s32 *sampleBuf, s32 *workBuf, int *nonZeroBound, const FrameHeader *fh,
                        const SideInfoSub *sis, const ScaleFactorInfoSub *sfis, CriticalBandInfo *cbi) {
    const bool midSide = (fh->modeExt & 2) != 0;
    const int gainQ = sis->globalGain + (midSide ? 0 : 2) + kGainOffset;
    const int sfShift = 1 + sis->sfactScale;
    const SFBandTable *sfb = fh->sfBand;
    const int nz = std::clamp(*nonZeroBound, 0, MAX_NSAMP);
    u32 magOr = 0;

    *cbi = CriticalBandInfo{};
    if (sis->blockType == 2) {
        const bool mixed = sis->mixedBlock != 0;
        const int longBands = mixed ? (fh->ver == MPEG1 ? 8 : 6) : 0;
        cbi->cbType = mixed ? CB_MIXED : CB_SHORT;
        cbi->cbEndL = dequantLong(sampleBuf, longBands, nz, gainQ, sfShift, sis, sfis, sfb, &magOr);
        const int end =
            dequantShort(sampleBuf, workBuf, mixed ? 3 : 0, nz, gainQ, sfShift, sis, sfis, sfb, cbi, &magOr);
        cbi->cbEndSMax = std::max({cbi->cbEndS[0], cbi->cbEndS[1], cbi->cbEndS[2]});
        *nonZeroBound = std::max(end, nz);
    } else {
        cbi->cbType = CB_LONG;
        cbi->cbEndL = dequantLong(sampleBuf, 22, nz, gainQ, sfShift, sis, sfis, sfb, &magOr);
        *nonZeroBound = nz;
    }
    return lmp3_GuardBits(magOr);
}

namespace {

// First sample of the intensity-stereo region: the end of the right channel's last non-zero
// band.
int intensityStart(const CriticalBandInfo &cbi, const SFBandTable *sfb) {
    if (cbi.cbType == CB_LONG || (cbi.cbType == CB_MIXED && cbi.cbEndSMax == 0)) return sfb->l[cbi.cbEndL];
    return 3 * sfb->s[cbi.cbEndSMax];
}

void clipChannels(HuffmanInfo *hi) {
    constexpr s32 kLimit = (1 << 30) - 1;
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < hi->nonZeroBound[ch]; ++i)
            hi->huffDecBuf[ch][i] = std::clamp(hi->huffDecBuf[ch][i], -kLimit, kLimit);
}

} // namespace

int lmp3_Dequantize(MP3DecInfo *mp3DecInfo, int gr) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !mp3DecInfo->SideInfoPS ||
        !mp3DecInfo->ScaleFactorInfoPS || !mp3DecInfo->HuffmanInfoPS || !mp3DecInfo->DequantInfoPS)
        return -1;
    if (gr < 0 || gr >= MAX_NGRAN) return -1;
    const FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    SideInfo *si = mp3DecInfo->SideInfoPS;
    ScaleFactorInfo *sfi = mp3DecInfo->ScaleFactorInfoPS;
    HuffmanInfo *hi = mp3DecInfo->HuffmanInfoPS;
    DequantInfo *dqi = mp3DecInfo->DequantInfoPS;

    for (int ch = 0; ch < mp3DecInfo->nChans; ++ch)
        hi->gb[ch] = lmp3_DequantChannel(hi->huffDecBuf[ch], dqi->workBuf, &hi->nonZeroBound[ch], fh,
                                         &si->sis[gr][ch], &sfi->sfis[gr][ch], &dqi->cbi[ch]);

    if (mp3DecInfo->nChans != 2 || fh->modeExt == 0) return 0;

    // Sums and intensity products of both channels must stay within 32 bits.
    if (hi->gb[0] < 1 || hi->gb[1] < 1) clipChannels(hi);
    const int nSamps = std::max(hi->nonZeroBound[0], hi->nonZeroBound[1]);
    const int midSide = (fh->modeExt >> 1) & 1;
    u32 mOut[2] = {0, 0};
    if (midSide) {
        const int msEnd =
            (fh->modeExt & 1) ? std::min(nSamps, intensityStart(dqi->cbi[1], fh->sfBand)) : nSamps;
        lmp3_MidSideProc(hi->huffDecBuf, msEnd, mOut);
    }
    if (fh->modeExt & 1) {
        const int mixFlag = dqi->cbi[1].cbType == CB_MIXED ? 1 : 0;
        if (fh->ver == MPEG1)
            lmp3_IntensityProcMPEG1(hi->huffDecBuf, nSamps, fh, &sfi->sfis[gr][1], dqi->cbi, midSide, mixFlag,
                                    mOut);
        else
            lmp3_IntensityProcMPEG2(hi->huffDecBuf, nSamps, fh, &sfi->sfis[gr][1], dqi->cbi, &sfi->sfjs,
                                    midSide, mixFlag, mOut);
    }
    // Every value of both channels counts, processed or not.
    for (int ch = 0; ch < 2; ++ch) {
        hi->gb[ch] = lmp3_GuardBits(mOut[ch] | lmp3_MagnitudeOr(hi->huffDecBuf[ch], nSamps));
        hi->nonZeroBound[ch] = nSamps;
    }
    return 0;
}
