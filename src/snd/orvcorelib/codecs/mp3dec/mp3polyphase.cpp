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

// One block of nCh channels at the factor: 32 / factor outputs per channel, interleaved.
template <int NCH>
void windowBlock(short *pcm, const s32 *vbuf, const s32 *coef, int factor) {
    const s32 *row = DS_COEF[factor];
    const int middle = row[0];
    const int outputs = 32 / factor;
    for (int c = 0; c < NCH; ++c) {
        const s32 *a = vbuf + 32 * c;
        const s32 *b = a + 16;
        s64 acc = kRound;
        for (int i = 0; i < 8; ++i) acc += orv::mul64(coef[2 * i], a[i]) + orv::mul64(coef[2 * i + 1], b[i]);
        pcm[c] = out16(acc);

        const s32 *g = vbuf + 1024 + 32 * c;
        acc = kRound;
        for (int i = 0; i < 8; ++i) acc += orv::mul64(coef[256 + i], g[i]);
        pcm[middle * NCH + c] = out16(acc);
    }
    const s32 *cp = coef + 16 + row[4];
    const s32 *vp = vbuf + row[5];
    for (int j = 1; j <= row[3]; ++j, cp += row[1], vp += row[2]) {
        // Four accumulators per stereo pair: each coefficient is loaded once for both channels.
        s64 lo[NCH], hi[NCH];
        for (int c = 0; c < NCH; ++c) lo[c] = hi[c] = kRound;
        for (int i = 0; i < 8; ++i) {
            const s32 ca = cp[2 * i], cb = cp[2 * i + 1];
            const s32 ma = cp[2 * (7 - i)], mb = cp[2 * (7 - i) + 1];
            for (int c = 0; c < NCH; ++c) {
                const s32 a = vp[32 * c + i], b = vp[32 * c + 16 + i];
                lo[c] += orv::mul64(ca, a) + orv::mul64(cb, b);
                hi[c] += orv::mul64(ma, b) - orv::mul64(mb, a);
            }
        }
        for (int c = 0; c < NCH; ++c) {
            pcm[j * NCH + c] = out16(lo[c]);
            pcm[(outputs - j) * NCH + c] = out16(hi[c]);
        }
    }
}

} // namespace

void lmp3_PolyphaseMono(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    windowBlock<1>(pcm, vbuf, coefBase, 1);
}

void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    windowBlock<2>(pcm, vbuf, coefBase, 1);
}

void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase, int factor) {
    if (factor == 1 || factor == 2 || factor == 4) windowBlock<2>(pcm, vbuf, coefBase, factor);
}

void lmp3_PolyphaseStereoH(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    windowBlock<2>(pcm, vbuf, coefBase, 2);
}

void lmp3_PolyphaseStereoQ(short *pcm, const s32 *vbuf, const s32 *coefBase) {
    windowBlock<2>(pcm, vbuf, coefBase, 4);
}
