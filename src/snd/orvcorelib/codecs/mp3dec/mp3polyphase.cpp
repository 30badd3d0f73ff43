// Windowing of the synthesis: each output sample is a sum of 16 products (8 for the middle
// sample) of synthesis-buffer values and window coefficients D[i] x 2^18, accumulated in 64
// bits from 2^25 and shifted right by 26. The pair (k, 32 - k) shares its 16 buffer values
// and its 16 coefficients, read in mirrored order. The ARM routines of the unit compute the
// same sums; these portable forms give the same bits.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvfixed.h"

namespace {

constexpr s64 kRound = s64{1} << 25;

// Windowing parameters by down-sample factor (rows 0 and 3 repeat rows 1 and 2): middle
// output index, coefficient step per pair, buffer step per pair, pairs in the loop, extra
// coefficient offset of the loop start, buffer offset of the loop start.
constexpr s32 DS_COEF[5][6] = {
    {16, 16, 64, 15, 0, 64},  {16, 16, 64, 15, 0, 64},  {8, 32, 128, 7, 16, 128},
    {8, 32, 128, 7, 16, 128}, {4, 64, 256, 3, 48, 256},
};

short out16(s64 acc) {
    return orv::sat16(acc >> 26);
}

// One block of NCH channels at factor F with the decoder's own window: 32 / F outputs per
// channel, interleaved. Factor and window are compile-time values, so the loops below unroll
// completely and the coefficients become immediate operands.
template <int NCH, int F>
void windowBlock(short *pcm, const s32 *vbuf) {
    constexpr const s32 *coef = lmp3_polyCoef;
    constexpr int kMiddle = DS_COEF[F][0];
    constexpr int kCoefStep = DS_COEF[F][1];
    constexpr int kBufStep = DS_COEF[F][2];
    constexpr int kPairs = DS_COEF[F][3];
    constexpr int kOutputs = 32 / F;
    for (int c = 0; c < NCH; ++c) {
        const s32 *a = vbuf + 32 * c;
        const s32 *b = a + 16;
        s64 acc = kRound;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) acc += orv::mul64(coef[2 * i], a[i]) + orv::mul64(coef[2 * i + 1], b[i]);
        pcm[c] = out16(acc);

        const s32 *g = vbuf + 1024 + 32 * c;
        acc = kRound;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) acc += orv::mul64(coef[256 + i], g[i]);
        pcm[kMiddle * NCH + c] = out16(acc);
    }
#pragma GCC unroll 15
    for (int j = 1; j <= kPairs; ++j) {
        const int cp = 16 + DS_COEF[F][4] + (j - 1) * kCoefStep;
        const s32 *vp = vbuf + DS_COEF[F][5] + (j - 1) * kBufStep;
        // Four accumulators per stereo pair: each coefficient serves both channels.
        s64 lo0 = kRound, hi0 = kRound, lo1 = kRound, hi1 = kRound;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const s64 ca = coef[cp + 2 * i], cb = coef[cp + 2 * i + 1];
            const s64 ma = coef[cp + 14 - 2 * i], mb = coef[cp + 15 - 2 * i];
            const s64 a0 = vp[i], b0 = vp[16 + i];
            lo0 += ca * a0 + cb * b0;
            hi0 += ma * b0 - mb * a0;
            if constexpr (NCH == 2) {
                const s64 a1 = vp[32 + i], b1 = vp[48 + i];
                lo1 += ca * a1 + cb * b1;
                hi1 += ma * b1 - mb * a1;
            }
        }
        pcm[j * NCH] = out16(lo0);
        pcm[(kOutputs - j) * NCH] = out16(hi0);
        if constexpr (NCH == 2) {
            pcm[j * NCH + 1] = out16(lo1);
            pcm[(kOutputs - j) * NCH + 1] = out16(hi1);
        }
    }
}

// The same sums with a window table given at run time, in plain loops.
void windowAny(short *pcm, const s32 *vbuf, const s32 *coef, int nCh, int factor) {
    const s32 *row = DS_COEF[factor];
    const int outputs = 32 / factor;
    for (int c = 0; c < nCh; ++c) {
        const s32 *a = vbuf + 32 * c;
        s64 acc = kRound;
        for (int i = 0; i < 8; ++i)
            acc += orv::mul64(coef[2 * i], a[i]) + orv::mul64(coef[2 * i + 1], a[16 + i]);
        pcm[c] = out16(acc);
        acc = kRound;
        for (int i = 0; i < 8; ++i) acc += orv::mul64(coef[256 + i], a[1024 + i]);
        pcm[row[0] * nCh + c] = out16(acc);
        for (int j = 1; j <= row[3]; ++j) {
            const s32 *cp = coef + 16 + row[4] + (j - 1) * row[1];
            const s32 *vp = vbuf + row[5] + (j - 1) * row[2] + 32 * c;
            s64 lo = kRound, hi = kRound;
            for (int i = 0; i < 8; ++i) {
                lo += orv::mul64(cp[2 * i], vp[i]) + orv::mul64(cp[2 * i + 1], vp[16 + i]);
                hi += orv::mul64(cp[14 - 2 * i], vp[16 + i]) - orv::mul64(cp[15 - 2 * i], vp[i]);
            }
            pcm[j * nCh + c] = out16(lo);
            pcm[(outputs - j) * nCh + c] = out16(hi);
        }
    }
}

template <int NCH, int F>
void window(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    if (coefBase == lmp3_polyCoef)
        windowBlock<NCH, F>(pcm, vbuf);
    else
        windowAny(pcm, vbuf, coefBase, NCH, F);
}

} // namespace

void lmp3_PolyphaseMono(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    window<1, 1>(pcm, vbuf, coefBase);
}

void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    window<2, 1>(pcm, vbuf, coefBase);
}

void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase, int factor) {
    if (factor == 1)
        window<2, 1>(pcm, vbuf, coefBase);
    else if (factor == 2)
        window<2, 2>(pcm, vbuf, coefBase);
    else if (factor == 4)
        window<2, 4>(pcm, vbuf, coefBase);
}

void lmp3_PolyphaseStereoH(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    window<2, 2>(pcm, vbuf, coefBase);
}

void lmp3_PolyphaseStereoQ(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    window<2, 4>(pcm, vbuf, coefBase);
}
