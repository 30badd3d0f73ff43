// Temporal noise shaping: all-pole filters run along the spectrum of each window.
#include "codecs/aacdec/aac_internal.h"

#include <algorithm>

namespace aacdec {

namespace {

// Turns the reflection coefficients (Q31) into prediction coefficients a[1..order] by the
// step-up recursion, in Q31 with 64 bits (the values can reach C(order, k)).
void stepUp(const s32 *refl, int order, s64 *a) {
    s64 b[kMaxTnsCoefs + 1];
    for (int m = 1; m <= order; m++) {
        const s64 k = refl[m - 1];
        for (int i = 1; i < m; i++)
            b[i] = a[i] + static_cast<s64>((static_cast<__int128>(k) * a[m - i]) >> 31);
        for (int i = 1; i < m; i++) a[i] = b[i];
        a[m] = k;
    }
}

int bitLength(u64 v) {
    int n = 0;
    while (v) {
        n++;
        v >>= 1;
    }
    return n;
}

// Runs y[n] = x[n] - sum a[i] y[n - i] over size values from spec, stepping by inc.
void arFilter(s32 *spec, int size, int inc, const s64 *a, int order) {
    // Coefficients are brought below 2^27 so that a sum of 20 products stays in 64 bits.
    u64 peak = 0;
    for (int i = 1; i <= order; i++) peak |= static_cast<u64>(a[i] < 0 ? -a[i] : a[i]);
    const int down = std::max(0, bitLength(peak) - 27);
    const int q = 31 - down;
    s32 lpc[kMaxTnsCoefs];
    for (int i = 0; i < order; i++) lpc[i] = static_cast<s32>(a[i + 1] >> down);
    s32 state[kMaxTnsCoefs] = {};
    for (int m = 0; m < size; m++, spec += inc) {
        s64 acc = 0;
        for (int i = 0; i < order; i++) acc += static_cast<s64>(lpc[i]) * state[i];
        const s32 y = satSym32(static_cast<s64>(*spec) - ((acc + (s64{1} << (q - 1))) >> q));
        for (int i = order - 1; i > 0; i--) state[i] = state[i - 1];
        state[0] = y;
        *spec = y;
    }
}

} // namespace

int laac_TNSFilter(AACDecInfo *dec, int ch) {
    if (!dec || !dec->psInfoBase) return -1;
    PSInfoBase &ps = *dec->psInfoBase;
    const TNSInfo &ti = ps.tnsInfo[ch];
    if (!ti.tnsDataPresent) return ERR_AAC_NONE;
    dec->tnsUsed = 1;
    const ICSInfo &ics = ps.icsInfo[ch];
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    const SfbLayout &bands = bandLayout(ps, ics);
    const int numWin = isShort ? 8 : 1;
    const int maxBands = isShort ? laac_tnsMaxBandsShort[kProfileLC][ps.sampRateIdx]
                                 : laac_tnsMaxBandsLong[kProfileLC][ps.sampRateIdx];
    const int limit = std::min<int>(maxBands, ics.maxSFB);
    int filt = 0;
    int nCoef = 0;
    for (int w = 0; w < numWin; w++) {
        s32 *coef = ps.coef[ch] + w * 128 * isShort;
        int bottom = bands.numBands;
        for (int f = 0; f < ti.numFilt[w]; f++, filt++) {
            const int top = bottom;
            bottom = std::max(top - ti.length[filt], 0);
            const int order = ti.order[filt];
            if (!order) continue;
            s32 refl[kMaxTnsCoefs];
            const int table = ti.coefRes[w] ? 16 : 0;
            for (int i = 0; i < order; i++) refl[i] = kTnsCoefQ31[table + ti.coef[nCoef + i] + 8];
            nCoef += order;
            const int start = bands.offsets[std::min(bottom, limit)];
            const int end = bands.offsets[std::min(top, limit)];
            const int size = end - start;
            if (size <= 0) continue;
            s64 a[kMaxTnsCoefs + 1] = {};
            stepUp(refl, order, a);
            if (ti.dir[filt]) {
                arFilter(coef + end - 1, size, -1, a, order);
            } else {
                arFilter(coef + start, size, 1, a, order);
            }
        }
    }
    refreshGuardBits(ps, ch);
    return ERR_AAC_NONE;
}

} // namespace aacdec
