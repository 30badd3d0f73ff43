// The synthesis matrixing as a 32-point DCT-II, X[i] = sum_k S[k] cos((2k + 1) i pi / 64), and
// its reduced forms that take only the lowest 16 or 8 sub-bands. Each size splits into the
// half-size DCT of the sums x[k] + x[n-1-k] (even outputs) and a matrix on the differences
// (odd outputs), with 64-bit accumulation: no intermediate value outgrows the final one.
//
// Synthesis buffer layout (per half of VBUF_LENGTH words, the half chosen by the block's
// parity): 17 groups of 64 words, group k holding 32 words per channel: run A (16 words)
// with X[16 + k] of the blocks of this parity, run B (16 words) with X[16 - k] of the blocks
// of the other parity; group 16 keeps X[0] in its run A. Each run is a ring of 8 written
// twice (at i and i + 8), so the windowing reads 8 ages from the write position onward.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvfixed.h"

#include <algorithm>

namespace {

// Odd outputs X[2m + 1] of an N-point DCT-II (N = 2H) from the H differences o. The
// differences are widened once, so each term is one multiply of a table value.
template <int H>
[[gnu::always_inline]] inline void oddOutputs(const s32 *o, const s32 (*c)[H], s32 *X) {
    s64 wide[H];
    for (int k = 0; k < H; ++k) wide[k] = o[k];
#pragma GCC unroll 16
    for (int m = 0; m < H; ++m) {
        s64 acc = s64{1} << 30;
#pragma GCC unroll 16
        for (int k = 0; k < H; ++k) acc += wide[k] * c[m][k];
        X[2 * m + 1] = static_cast<s32>(acc >> 31);
    }
}

// Inlined all the way down: the smaller sizes are cheap, their calls and copies are not.
template <int N>
[[gnu::always_inline]] inline void dctII(const s32 *x, s32 *X) {
    if constexpr (N == 1) {
        X[0] = x[0];
    } else {
        constexpr int H = N / 2;
        s32 e[H], o[H], even[H];
        for (int k = 0; k < H; ++k) {
            e[k] = x[k] + x[N - 1 - k];
            o[k] = x[k] - x[N - 1 - k];
        }
        dctII<H>(e, even);
        for (int m = 0; m < H; ++m) X[2 * m] = even[m];
        if constexpr (N == 32) oddOutputs<H>(o, lmp3_dctOdd32, X);
        if constexpr (N == 16) oddOutputs<H>(o, lmp3_dctOdd16, X);
        if constexpr (N == 8) oddOutputs<H>(o, lmp3_dctOdd8, X);
        if constexpr (N == 4) oddOutputs<H>(o, lmp3_dctOdd4, X);
        if constexpr (N == 2) oddOutputs<H>(o, lmp3_dctOdd2, X);
    }
}

// Back to full scale after an input shift of es, saturated so the shift cannot overflow.
s32 restore(s32 v, int es) {
    if (es == 0) return v;
    const s32 hi = static_cast<s32>((s64{1} << (31 - es)) - 1);
    return static_cast<s32>(std::clamp(v, -hi, hi) * (s64{1} << es));
}

void put(s32 *run, int idx, s32 v) {
    run[idx] = v;
    run[idx + 8] = v;
}

// Transforms the lowest N sub-band values (the rest taken as zero) and stores X[16 + k] and
// X[16 - k] for the groups k that are multiples of 32 / N.
template <int N>
void fdct(s32 *buf, s32 *dest, int offset, int oddBlock, int gb) {
    const int es = gb < 6 ? 6 - gb : 0;
    s32 X[N];
    if (es > 0) {
        for (int k = 0; k < N; ++k) buf[k] >>= es;
        dctII<N>(buf, X);
        for (int k = 0; k < N; ++k) X[k] = restore(X[k], es);
    } else {
        dctII<N>(buf, X);
    }

    constexpr int kStep = 32 / N; // group step; X of the full transform at index step * m is X[m]
    const int parity = oddBlock ? 1 : 0;
    const int own = offset & 7;
    const int other = (offset - parity) & 7;
    s32 *same = dest + parity * VBUF_LENGTH;
    s32 *opposite = dest + (1 - parity) * VBUF_LENGTH;
    constexpr int kMid = N / 2; // index of X[16]
#pragma GCC unroll 16
    for (int j = 0; j < kMid; ++j) {
        put(same + 64 * kStep * j, own, X[kMid + j]);
        put(opposite + 64 * kStep * j + 16, other, X[kMid - j]);
    }
    put(opposite + 64 * 16, other, X[0]);
}

} // namespace

void lmp3_FDCT32(s32 *buf, s32 *dest, int offset, int oddBlock, int gb) {
    fdct<32>(buf, dest, offset, oddBlock, gb);
}

void lmp3_FDCT16(s32 *buf, s32 *dest, int offset, int oddBlock, int gb) {
    fdct<16>(buf, dest, offset, oddBlock, gb);
}

void lmp3_FDCT08(s32 *buf, s32 *dest, int offset, int oddBlock, int gb) {
    fdct<8>(buf, dest, offset, oddBlock, gb);
}
