// Hybrid inverse transform of one channel: alias reduction, 36-point or three 12-point
// inverse MDCTs with their windows, overlap-add with the previous granule and frequency
// inversion. The inverse MDCTs are DCT-IVs of 18 and 6 points whose symmetric outputs give
// the 36 and 12 values; the second half is kept unwindowed as 9 values per sub-band. Inputs
// have at least 7 guard bits after scaling, so no sum below exceeds 2^30.
//
// Every sum is an exact 64-bit integer sum, so the order of its terms and the grouping of
// terms that share a constant (the folded matrix rows below) do not change a bit. The common
// case needs no input scaling; the transform is instantiated without it, sparing the shifts.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvfixed.h"

#include <algorithm>

namespace {

constexpr int kOverlap = 9;
constexpr s64 kMax32 = 0x7FFFFFFF;

// Input scaling of a channel: values are shifted right by es before the transform, and its
// outputs and overlap saturated to a symmetric (32 - es)-bit range and shifted back.
struct Scale {
    int es;
    s64 hi; // 2^(31 - es) - 1
};

Scale scaleFor(int gb) {
    const int es = gb < 7 ? 7 - gb : 0;
    return {es, (s64{1} << (31 - es)) - 1};
}

template <bool kScaled>
s32 down(s32 v, const Scale &sc) {
    if constexpr (kScaled) return v >> sc.es;
    return v;
}

// Back to full scale, saturated; never yields INT_MIN, so frequency inversion can negate freely.
template <bool kScaled>
s32 restore(s64 v, const Scale &sc) {
    if constexpr (kScaled) return static_cast<s32>(std::clamp(v, -sc.hi, sc.hi) * (s64{1} << sc.es));
    return static_cast<s32>(std::clamp(v, -kMax32, kMax32));
}

s64 roundShift31(s64 acc) {
    return (acc + (s64{1} << 30)) >> 31;
}

// Alias-reduction butterflies between neighbouring sub-bands. Each value takes part in one
// butterfly only (values 0..7 of a sub-band with the one below, 10..17 with the one above),
// and cs^2 + ca^2 = 1 to within 2^-30, so an output is at most sqrt(2) (1 + 2^-30) times the
// larger input: with one guard bit (inputs of at most 2^30) it stays below 1.5 x 2^30 and
// the saturation is left out; with none it is kept.
template <bool kSaturate>
void antiAlias(s32 *x, int nBfly) {
    const auto narrow = [](s64 v) { return kSaturate ? orv::sat32(v) : static_cast<s32>(v); };
    for (int b = 1; b <= nBfly; ++b) {
        s32 *up = x + 18 * b;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const s32 a = up[-1 - i];
            const s32 c = up[i];
            up[-1 - i] = narrow((orv::mul64(a, lmp3_aliasCs[i]) - orv::mul64(c, lmp3_aliasCa[i])) >> 31);
            up[i] = narrow((orv::mul64(c, lmp3_aliasCs[i]) + orv::mul64(a, lmp3_aliasCa[i])) >> 31);
        }
    }
}

void antiAlias(s32 *x, int nBfly, int gb) {
    if (gb >= 1)
        antiAlias<false>(x, nBfly);
    else
        antiAlias<true>(x, nBfly);
}

// 6-point DCT-IV of one short window's values (every third of x), each scaled down.
template <bool kScaled>
void dct4Short(const s32 *x, const Scale &sc, s32 *z) {
    s32 in[6];
    for (int k = 0; k < 6; ++k) in[k] = down<kScaled>(x[3 * k], sc);
    for (int m = 0; m < 6; ++m) {
        s64 acc = 0;
        for (int k = 0; k < 6; ++k) acc += orv::mul64(in[k], lmp3_imdct6[m][k]);
        z[m] = static_cast<s32>(roundShift31(acc));
    }
}

// The folded rows below rely on these symmetries of the generated matrices.
constexpr bool evenRowsFold() {
    for (int m = 1; m <= 8; ++m) {
        const int sign = (m & 1) ? -1 : 1;
        for (int k = 0; k < 4; ++k)
            if (lmp3_dct9Even[m - 1][8 - k] != sign * lmp3_dct9Even[m - 1][k]) return false;
        if ((m & 1) && lmp3_dct9Even[m - 1][4] != 0) return false;
    }
    return true;
}
constexpr bool oddRowsGroup() {
    constexpr int kGroups[3][3] = {{0, 5, 6}, {1, 4, 7}, {2, 3, 8}};
    for (int m = 1; m < 9; m += 6)
        for (const auto &g : kGroups)
            if (lmp3_dct9Odd[m][g[1]] != -lmp3_dct9Odd[m][g[0]] ||
                lmp3_dct9Odd[m][g[2]] != -lmp3_dct9Odd[m][g[0]])
                return false;
    constexpr int kRow4[9] = {1, -1, -1, 1, 1, -1, -1, 1, 1};
    for (int k = 0; k < 9; ++k)
        if (lmp3_dct9Odd[4][k] != kRow4[k] * lmp3_dct9Odd[4][0]) return false;
    return true;
}
static_assert(evenRowsFold() && oddRowsGroup(), "the 9-point matrices lost the symmetries the folding uses");

// Even outputs 2m (m = 1..8) of the 18-point DCT-II from the 9 sums e, before scaling. Row m
// of the matrix is symmetric (m even) or antisymmetric (m odd, with a zero middle) about
// k = 4, so each row needs only the 4 folded values (and the middle one for even m): the
// same integer sums with half the products. The folded values stay below 2^29.
[[gnu::always_inline]] inline void evenRows(const s32 *e, s64 *S) {
    s32 sum[4], dif[4];
    for (int k = 0; k < 4; ++k) {
        sum[k] = e[k] + e[8 - k];
        dif[k] = e[k] - e[8 - k];
    }
#pragma GCC unroll 4
    for (int m = 1; m <= 8; m += 2) {
        const s32 *c = lmp3_dct9Even[m - 1];
        S[m] = orv::mul64(dif[0], c[0]) + orv::mul64(dif[1], c[1]) + orv::mul64(dif[2], c[2]) +
               orv::mul64(dif[3], c[3]);
    }
#pragma GCC unroll 4
    for (int m = 2; m <= 8; m += 2) {
        const s32 *c = lmp3_dct9Even[m - 1];
        S[m] = orv::mul64(sum[0], c[0]) + orv::mul64(sum[1], c[1]) + orv::mul64(sum[2], c[2]) +
               orv::mul64(sum[3], c[3]) + orv::mul64(e[4], c[4]);
    }
}

// Odd outputs 2m + 1 of the 18-point DCT-II from the 9 differences o, before scaling. Rows
// 1, 4 and 7 hold only cos(pi/12), cos(pi/4) and cos(5pi/12) (rows 1 and 7) or cos(pi/4) (row 4),
// each on a fixed group of three differences: the groups are summed first, the same integer
// sums with 7 products instead of 27. A group stays below 2^30, the sum of all nine below 2^31.
[[gnu::always_inline]] inline void oddRows(const s32 *o, s64 *T) {
#pragma GCC unroll 9
    for (int m = 0; m < 9; ++m) {
        if (m == 1 || m == 4 || m == 7) continue;
        const s32 *c = lmp3_dct9Odd[m];
        s64 acc = 0;
#pragma GCC unroll 9
        for (int k = 0; k < 9; ++k) acc += orv::mul64(o[k], c[k]);
        T[m] = acc;
    }
    const s32 g0 = o[0] - o[5] - o[6];
    const s32 g1 = o[1] - o[4] - o[7];
    const s32 g2 = o[2] - o[3] - o[8];
#pragma GCC unroll 2
    for (int m = 1; m < 9; m += 6) {
        const s32 *c = lmp3_dct9Odd[m];
        T[m] = orv::mul64(g0, c[0]) + orv::mul64(g1, c[1]) + orv::mul64(g2, c[2]);
    }
    T[4] = (static_cast<s64>(g0) - g1 - g2) * lmp3_dct9Odd[4][0];
}

// 18-point DCT-IV through a pre-twiddle and an 18-point DCT-II (9 sums and 9 differences):
// with v[k] = x[k] cos(pi (2k + 1) / 72), DCT-II(v)[m] = (z[m] + z[m-1]) / 2, [0] = z[0].
// The twiddles go down to 0.04, so v keeps kVFrac extra bits (inputs below 2^25 leave room)
// and the alternating recursion kFrac, or their rounding would show in the output.
template <bool kScaled>
void dct4Long(const s32 *x, const Scale &sc, s32 *z) {
    constexpr int kVFrac = 2;
    constexpr int kFrac = 8;
    constexpr s64 kTwiddleHalf = s64{1} << (30 - kVFrac);
    s32 e[9], o[9];
    s64 sum = 0;
#pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        const s32 a = static_cast<s32>(
            (orv::mul64(down<kScaled>(x[k], sc), lmp3_imdctTwiddle18[k]) + kTwiddleHalf) >> (31 - kVFrac));
        const s32 b = static_cast<s32>(
            (orv::mul64(down<kScaled>(x[17 - k], sc), lmp3_imdctTwiddle18[17 - k]) + kTwiddleHalf) >>
            (31 - kVFrac));
        e[k] = a + b;
        o[k] = a - b;
        sum += e[k];
    }
    s64 S[9], T[9];
    evenRows(e, S);
    oddRows(o, T);
    constexpr s64 kHalf = s64{1} << (kFrac - 1);
    const auto out = [](s64 v) { return static_cast<s32>((v + kHalf) >> kFrac); };
    s64 prev = sum * (s64{1} << (kFrac - kVFrac));
    z[0] = out(prev);
#pragma GCC unroll 8
    for (int m = 0; m < 8; ++m) {
        prev = 2 * (T[m] >> (31 + kVFrac - kFrac)) - prev;
        z[2 * m + 1] = out(prev);
        prev = 2 * (S[m + 1] >> (30 + kVFrac - kFrac)) - prev;
        z[2 * m + 2] = out(prev);
    }
    prev = 2 * (T[8] >> (31 + kVFrac - kFrac)) - prev;
    z[17] = out(prev);
}

// Previous granule's second half (stored for this sub-band), windowed: positions 18..35.
// Stored value j stands for positions 18 + j and 35 - j. Sets acc.
template <bool kScaled>
void previousLong(const s32 *ov, const s32 *win, const Scale &sc, s64 *acc) {
    for (int j = 0; j < kOverlap; ++j) {
        const s32 y = down<kScaled>(ov[j], sc);
        acc[j] = orv::mul64(y, win[18 + j]);
        acc[17 - j] = orv::mul64(y, win[35 - j]);
    }
}

// Second half of three short windows: ov holds window 1's values 6..8 and window 2's 0..2
// and 6..8; the rest follow by symmetry. Sets acc (positions 12..17 get nothing).
template <bool kScaled>
void previousShort(const s32 *ov, const Scale &sc, s64 *acc) {
    const s32 *win = lmp3_imdctWin[2];
    for (int j = 0; j < 6; ++j) {
        const s32 y1 = down<kScaled>(j < 3 ? ov[j] : ov[5 - j], sc);       // window 1, value 6 + j
        const s32 y2a = down<kScaled>(j < 3 ? ov[3 + j] : -ov[8 - j], sc); // window 2, value j
        const s32 y2b = down<kScaled>(j < 3 ? ov[6 + j] : ov[11 - j], sc); // window 2, value 6 + j
        acc[j] = orv::mul64(y1, win[6 + j]) + orv::mul64(y2a, win[j]);
        acc[6 + j] = orv::mul64(y2b, win[6 + j]);
        acc[12 + j] = 0;
    }
}

template <bool kScaled>
void currentLong(const s32 *x, const Scale &sc, const s32 *win, s64 *acc, s32 *ov) {
    s32 z[18];
    dct4Long<kScaled>(x, sc, z);
    for (int i = 0; i < 9; ++i) {
        acc[i] += orv::mul64(z[9 + i], win[i]);
        acc[17 - i] -= orv::mul64(z[9 + i], win[17 - i]);
        ov[i] = -z[8 - i];
    }
}

// 12-point outputs of one window from its DCT-IV: y[0..2] = z[3..5], y[3..5] = -z[5..3],
// y[6..8] = -z[2..0], y[9..11] = -z[0..2].
void shortOutputs(const s32 *z, s32 *y) {
    for (int i = 0; i < 3; ++i) {
        y[i] = z[3 + i];
        y[5 - i] = -z[3 + i];
        y[6 + i] = -z[2 - i];
        y[11 - i] = -z[2 - i];
    }
}

template <bool kScaled>
void currentShort(const s32 *x, const Scale &sc, s64 *acc, s32 *ov) {
    const s32 *win = lmp3_imdctWin[2];
    s32 y[3][12];
    for (int w = 0; w < 3; ++w) {
        s32 z[6];
        dct4Short<kScaled>(x + w, sc, z);
        shortOutputs(z, y[w]);
    }
    // Window w covers positions 6 + 6w .. 17 + 6w of the 36.
    for (int i = 0; i < 6; ++i) {
        acc[6 + i] += orv::mul64(y[0][i], win[i]);
        acc[12 + i] += orv::mul64(y[0][6 + i], win[6 + i]) + orv::mul64(y[1][i], win[i]);
    }
    for (int j = 0; j < 3; ++j) {
        ov[j] = y[1][6 + j];
        ov[3 + j] = y[2][j];
        ov[6 + j] = y[2][6 + j];
    }
}

// One output sample: rounded, restored and stored at row i of a sub-band's column of
// outBuf, negated when inverted (odd samples of odd sub-bands). Returns its magnitude.
template <bool kScaled>
u32 storeOutput(s64 acc, const Scale &sc, bool inverted, s32 *column, int i) {
    s32 v = restore<kScaled>(roundShift31(acc), sc);
    if (inverted) v = -v;
    column[NBANDS * i] = v;
    return lmp3_Magnitude(v);
}

// Window sources: the normal window (block type 0) as compile-time values, folded into the
// unrolled loop below, or any of the four tables.
struct NormalWindow {
    constexpr s32 operator[](int i) const { return lmp3_imdctWin[0][i]; }
};
struct TableWindow {
    const s32 *table;
    s32 operator[](int i) const { return table[i]; }
};

// A long block after a long block, the common case, in one pass: for each stored value j
// the previous and the current half meet at positions j and 17 - j.
template <bool kScaled, typename Window>
u32 longAfterLong(const s32 *x, s32 *ov, Window prevWin, Window win, const Scale &sc, bool invert,
                  s32 *column) {
    s32 z[18];
    dct4Long<kScaled>(x, sc, z);
    u32 magOr = 0;
#pragma GCC unroll 9
    for (int j = 0; j < kOverlap; ++j) {
        const s32 y = down<kScaled>(ov[j], sc);
        const s64 low = orv::mul64(y, prevWin[18 + j]) + orv::mul64(z[9 + j], win[j]);
        const s64 high = orv::mul64(y, prevWin[35 - j]) - orv::mul64(z[9 + j], win[17 - j]);
        magOr |= storeOutput<kScaled>(low, sc, invert && (j & 1), column, j);
        magOr |= storeOutput<kScaled>(high, sc, invert && !(j & 1), column, 17 - j);
        ov[j] = restore<kScaled>(-z[8 - j], sc);
    }
    return magOr;
}

template <bool kScaled>
u32 longAfterLong(const s32 *x, s32 *ov, const s32 *prevWin, const s32 *win, const Scale &sc, bool invert,
                  s32 *column) {
    if (prevWin == lmp3_imdctWin[0] && win == lmp3_imdctWin[0])
        return longAfterLong<kScaled>(x, ov, NormalWindow{}, NormalWindow{}, sc, invert, column);
    return longAfterLong<kScaled>(x, ov, TableWindow{prevWin}, TableWindow{win}, sc, invert, column);
}

// Any other combination: the previous half, then the current block if there is one.
template <bool kScaled>
u32 generalBlock(const s32 *x, s32 *ov, bool prevShort, const s32 *prevWin, int current, const s32 *win,
                 const Scale &sc, bool invert, s32 *column) {
    s64 acc[18];
    if (prevShort)
        previousShort<kScaled>(ov, sc, acc);
    else
        previousLong<kScaled>(ov, prevWin, sc, acc);
    s32 newOv[kOverlap] = {};
    if (current == 1)
        currentLong<kScaled>(x, sc, win, acc, newOv);
    else if (current == 2)
        currentShort<kScaled>(x, sc, acc, newOv);
    for (int j = 0; j < kOverlap; ++j) ov[j] = restore<kScaled>(newOv[j], sc);
    u32 magOr = 0;
    for (int i = 0; i < 18; ++i) magOr |= storeOutput<kScaled>(acc[i], sc, invert && (i & 1), column, i);
    return magOr;
}

struct ChannelPlan {
    int nBlocks;    // sub-bands with data this granule
    int longBlocks; // of them, long ones (all for long blocks)
    int blockType;  // window of the long ones
    int prevBlocks; // sub-bands with data in the previous granule
    int prevType;   // its block type
    int prevLong;   // its long sub-bands when it was a mixed block
};

// All 32 sub-bands of one channel; returns the OR of the output magnitudes.
template <bool kScaled>
u32 transformBands(const s32 *x, IMDCTInfo *mi, int ch, const ChannelPlan &plan, const Scale &sc) {
    const s32 *prevWin = lmp3_imdctWin[plan.prevType == 2 ? 0 : plan.prevType];
    const s32 *win = lmp3_imdctWin[plan.blockType];
    u32 magOr = 0;
    for (int sb = 0; sb < NBANDS; ++sb) {
        s32 *ov = mi->overBuf[ch] + kOverlap * sb;
        s32 *column = &mi->outBuf[ch][0][sb];
        const bool hasData = sb < plan.nBlocks;
        if (!hasData && sb >= plan.prevBlocks) {
            for (int i = 0; i < 18; ++i) column[NBANDS * i] = 0;
            continue;
        }
        const bool invert = (sb & 1) != 0;
        const bool prevShort = plan.prevType == 2 && sb >= plan.prevLong;
        const int current = !hasData ? 0 : (sb < plan.longBlocks ? 1 : 2);
        if (current == 1 && !prevShort)
            magOr |= longAfterLong<kScaled>(x + 18 * sb, ov, prevWin, win, sc, invert, column);
        else
            magOr |=
                generalBlock<kScaled>(x + 18 * sb, ov, prevShort, prevWin, current, win, sc, invert, column);
    }
    return magOr;
}

} // namespace

int lmp3_IMDCT(MP3DecInfo *mp3DecInfo, int gr, int ch) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !mp3DecInfo->SideInfoPS || !mp3DecInfo->HuffmanInfoPS ||
        !mp3DecInfo->IMDCTInfoPS)
        return -1;
    if (gr < 0 || gr >= MAX_NGRAN || ch < 0 || ch >= MAX_NCHAN) return -1;
    const FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    const SideInfoSub *sis = &mp3DecInfo->SideInfoPS->sis[gr][ch];
    HuffmanInfo *hi = mp3DecInfo->HuffmanInfoPS;
    IMDCTInfo *mi = mp3DecInfo->IMDCTInfoPS;
    s32 *x = hi->huffDecBuf[ch];
    int nz = std::clamp(hi->nonZeroBound[ch], 0, MAX_NSAMP);

    const bool shortBlock = sis->blockType == 2;
    const int mixedLongEnd = fh->sfBand->l[fh->ver == MPEG1 ? 8 : 6];
    ChannelPlan plan{};
    plan.blockType = shortBlock ? 0 : sis->blockType;
    if (!shortBlock) {
        const int nBfly = nz < 551 ? (nz + 7) / 18 : 31;
        antiAlias(x, nBfly, hi->gb[ch]);
        if (nBfly > 0) nz = std::max(nz, 18 * nBfly + 8);
    } else if (sis->mixedBlock) {
        const int nBfly = std::clamp(mixedLongEnd / 18 - 1, 0, 31);
        antiAlias(x, nBfly, hi->gb[ch]);
        if (nBfly > 0) nz = std::max(nz, 18 * nBfly + 8);
    }
    plan.nBlocks = std::min((nz + 17) / 18, NBANDS);
    plan.longBlocks =
        !shortBlock ? plan.nBlocks : (sis->mixedBlock ? std::min(mixedLongEnd / 18, NBANDS) : 0);
    plan.prevBlocks = std::clamp(mi->numPrevIMDCT[ch], 0, NBANDS);
    plan.prevType = mi->prevType[ch] & 3;
    plan.prevLong = mi->prevWinSwitch[ch];

    const Scale sc = scaleFor(hi->gb[ch]);
    const u32 magOr =
        sc.es ? transformBands<true>(x, mi, ch, plan, sc) : transformBands<false>(x, mi, ch, plan, sc);

    mi->numPrevIMDCT[ch] = plan.nBlocks;
    mi->prevType[ch] = sis->blockType;
    mi->prevWinSwitch[ch] = shortBlock && sis->mixedBlock ? plan.longBlocks : 0;
    mi->gb[ch] = lmp3_GuardBits(magOr);
    return 0;
}
