// Hybrid inverse transform of one channel: alias reduction, 36-point or three 12-point
// inverse MDCTs with their windows, overlap-add with the previous granule and frequency
// inversion. The inverse MDCTs are DCT-IVs of 18 and 6 points whose symmetric outputs give
// the 36 and 12 values; the second half is kept unwindowed as 9 values per sub-band. Inputs
// have at least 7 guard bits after scaling, so no sum below exceeds 2^30.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kOverlap = 9;

s32 roundShift31(s64 acc) {
    return static_cast<s32>((acc + (s64{1} << 30)) >> 31);
}

// Saturation to a symmetric (32 - es)-bit range and back to full scale; never yields INT_MIN,
// so frequency inversion can negate freely.
s32 restoreScale(s64 v, int es) {
    const s64 hi = (s64{1} << (31 - es)) - 1;
    return static_cast<s32>(std::clamp(v, -hi, hi) * (s64{1} << es));
}

// Alias-reduction butterflies between neighbouring sub-bands, saturated.
void antiAlias(s32 *x, int nBfly) {
    for (int b = 1; b <= nBfly; ++b) {
        s32 *up = x + 18 * b;
        for (int i = 0; i < 8; ++i) {
            const s32 a = up[-1 - i];
            const s32 c = up[i];
            up[-1 - i] = orv::sat32((orv::mul64(a, lmp3_aliasCs[i]) - orv::mul64(c, lmp3_aliasCa[i])) >> 31);
            up[i] = orv::sat32((orv::mul64(c, lmp3_aliasCs[i]) + orv::mul64(a, lmp3_aliasCa[i])) >> 31);
        }
    }
}

// 6-point DCT-IV of one short window's values (every third of x), each shifted right by es.
void dct4Short(const s32 *x, int es, s32 *z) {
    s32 in[6];
    for (int k = 0; k < 6; ++k) in[k] = x[3 * k] >> es;
    for (int m = 0; m < 6; ++m) {
        s64 acc = 0;
        for (int k = 0; k < 6; ++k) acc += orv::mul64(in[k], lmp3_imdct6[m][k]);
        z[m] = roundShift31(acc);
    }
}

// Previous granule's second half (stored for this sub-band), windowed: positions 18..35.
void previousLong(const s32 *ov, const s32 *win, int es, s64 *acc) {
    for (int i = 0; i < 18; ++i) {
        const s32 y = ov[i < kOverlap ? i : 17 - i] >> es;
        acc[i] += orv::mul64(y, win[18 + i]);
    }
}

// Second half of three short windows: ov holds window 1's values 6..8 and window 2's 0..2
// and 6..8; the rest follow by symmetry.
void previousShort(const s32 *ov, int es, s64 *acc) {
    const s32 *win = lmp3_imdctWin[2];
    for (int j = 0; j < 6; ++j) {
        const s32 y1 = (j < 3 ? ov[j] : ov[5 - j]) >> es;       // window 1, value 6 + j
        const s32 y2a = (j < 3 ? ov[3 + j] : -ov[8 - j]) >> es; // window 2, value j
        const s32 y2b = (j < 3 ? ov[6 + j] : ov[11 - j]) >> es; // window 2, value 6 + j
        acc[j] += orv::mul64(y1, win[6 + j]) + orv::mul64(y2a, win[j]);
        acc[6 + j] += orv::mul64(y2b, win[6 + j]);
    }
}

// 18-point DCT-IV through a pre-twiddle and an 18-point DCT-II (9 sums and 9 differences):
// with v[k] = x[k] cos(pi (2k + 1) / 72), DCT-II(v)[m] = (z[m] + z[m-1]) / 2, [0] = z[0].
// The twiddles go down to 0.04, so v keeps kVFrac extra bits (inputs below 2^25 leave room)
// and the alternating recursion kFrac, or their rounding would show in the output.
void dct4Long(const s32 *x, int es, s32 *z) {
    constexpr int kVFrac = 2;
    constexpr int kFrac = 8;
    s32 e[9], o[9];
    s64 sum = 0;
    for (int k = 0; k < 9; ++k) {
        const s32 a = static_cast<s32>(
            (orv::mul64(x[k] >> es, lmp3_imdctTwiddle18[k]) + (s64{1} << (30 - kVFrac))) >> (31 - kVFrac));
        const s32 b = static_cast<s32>(
            (orv::mul64(x[17 - k] >> es, lmp3_imdctTwiddle18[17 - k]) + (s64{1} << (30 - kVFrac))) >>
            (31 - kVFrac));
        e[k] = a + b;
        o[k] = a - b;
        sum += e[k];
    }
    s64 V[18];
    V[0] = sum * (s64{1} << (kFrac - kVFrac));
    for (int m = 1; m < 9; ++m) {
        s64 acc = 0;
        for (int k = 0; k < 9; ++k) acc += orv::mul64(e[k], lmp3_dct9Even[m - 1][k]);
        V[2 * m] = acc >> (30 + kVFrac - kFrac);
    }
    for (int m = 0; m < 9; ++m) {
        s64 acc = 0;
        for (int k = 0; k < 9; ++k) acc += orv::mul64(o[k], lmp3_dct9Odd[m][k]);
        V[2 * m + 1] = acc >> (31 + kVFrac - kFrac);
    }
    constexpr s64 kHalf = s64{1} << (kFrac - 1);
    s64 prev = V[0];
    z[0] = static_cast<s32>((prev + kHalf) >> kFrac);
    for (int m = 1; m < 18; ++m) {
        prev = 2 * V[m] - prev;
        z[m] = static_cast<s32>((prev + kHalf) >> kFrac);
    }
}

void currentLong(const s32 *x, int es, const s32 *win, s64 *acc, s32 *ov) {
    s32 z[18];
    dct4Long(x, es, z);
    for (int i = 0; i < 9; ++i) {
        acc[i] += orv::mul64(z[9 + i], win[i]);
        acc[17 - i] += orv::mul64(-z[9 + i], win[17 - i]);
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

void currentShort(const s32 *x, int es, s64 *acc, s32 *ov) {
    const s32 *win = lmp3_imdctWin[2];
    s32 y[3][12];
    for (int w = 0; w < 3; ++w) {
        s32 z[6];
        dct4Short(x + w, es, z);
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

struct ChannelPlan {
    int nBlocks;    // sub-bands with data this granule
    int longBlocks; // of them, long ones (all for long blocks)
    int blockType;  // window of the long ones
};

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
        antiAlias(x, nBfly);
        if (nBfly > 0) nz = std::max(nz, 18 * nBfly + 8);
    } else if (sis->mixedBlock) {
        const int nBfly = std::clamp(mixedLongEnd / 18 - 1, 0, 31);
        antiAlias(x, nBfly);
        if (nBfly > 0) nz = std::max(nz, 18 * nBfly + 8);
    }
    plan.nBlocks = std::min((nz + 17) / 18, NBANDS);
    plan.longBlocks =
        !shortBlock ? plan.nBlocks : (sis->mixedBlock ? std::min(mixedLongEnd / 18, NBANDS) : 0);

    const int es = hi->gb[ch] < 7 ? 7 - hi->gb[ch] : 0;
    const int prevBlocks = std::clamp(mi->numPrevIMDCT[ch], 0, NBANDS);
    const int prevType = mi->prevType[ch] & 3;
    const int prevLong = mi->prevWinSwitch[ch];
    u32 magOr = 0;

    for (int sb = 0; sb < NBANDS; ++sb) {
        s32 *ov = mi->overBuf[ch] + kOverlap * sb;
        s64 acc[18] = {};
        const bool hasData = sb < plan.nBlocks;
        if (!hasData && sb >= prevBlocks) {
            for (int i = 0; i < 18; ++i) mi->outBuf[ch][i][sb] = 0;
            continue;
        }
        if (prevType == 2 && sb >= prevLong)
            previousShort(ov, es, acc);
        else
            previousLong(ov, lmp3_imdctWin[prevType == 2 ? 0 : prevType], es, acc);

        s32 newOv[kOverlap] = {};
        if (hasData) {
            if (sb < plan.longBlocks)
                currentLong(x + 18 * sb, es, lmp3_imdctWin[plan.blockType], acc, newOv);
            else
                currentShort(x + 18 * sb, es, acc, newOv);
        }
        for (int j = 0; j < kOverlap; ++j) ov[j] = restoreScale(newOv[j], es);
        for (int i = 0; i < 18; ++i) {
            s32 v = restoreScale((acc[i] + (s64{1} << 30)) >> 31, es);
            if ((sb & 1) && (i & 1)) v = -v;
            mi->outBuf[ch][i][sb] = v;
            magOr |= lmp3_Magnitude(v);
        }
    }

    mi->numPrevIMDCT[ch] = plan.nBlocks;
    mi->prevType[ch] = sis->blockType;
    mi->prevWinSwitch[ch] = shortBlock && sis->mixedBlock ? plan.longBlocks : 0;
    mi->gb[ch] = lmp3_GuardBits(magOr);
    return 0;
}
