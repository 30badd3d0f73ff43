// Perceptual noise substitution: bands of the noise codebook are filled with pseudo-random
// values scaled to the band's coded energy.
#include "codecs/aacdec/aac_internal.h"

namespace aacdec {

namespace {

// Linear congruential generator; the state wraps in 32 unsigned bits.
s32 nextNoise(u32 &state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<s32>(state) >> 16;
}

u32 isqrt64(u64 v) {
    u64 res = 0;
    u64 bit = u64{1} << 62;
    while (bit > v) bit >>= 2;
    while (bit) {
        if (v >= res + bit) {
            v -= res + bit;
            res = (res >> 1) + bit;
        } else {
            res >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<u32>(res);
}

int bitLength(u64 v) {
    int n = 0;
    while (v) {
        n++;
        v >>= 1;
    }
    return n;
}

s32 shiftSat(s64 v, int rightShift) {
    if (rightShift >= 63) return v < 0 ? -1 : 0;
    if (rightShift >= 0) return satSym32(v >> rightShift);
    if (rightShift < -31) return v > 0 ? 0x7FFFFFFF : (v < 0 ? -0x7FFFFFFF : 0);
    const s64 limit = s64{0x7FFFFFFF} >> -rightShift;
    if (v > limit) return 0x7FFFFFFF;
    if (v < -limit) return -0x7FFFFFFF;
    return static_cast<s32>(v * (s64{1} << -rightShift));
}

// Scales the raw noise in x[0..n) to the energy 2^(nrg / 2), in the spectrum's format.
void scaleNoise(s32 *x, int n, int nrg) {
    u64 energy = 0;
    for (int i = 0; i < n; i++) energy += static_cast<u64>(static_cast<s64>(x[i]) * x[i]);
    if (!energy) return;
    // Normalise so the square root lands in [2^30, 2^31) and 2^61 / root in (2^30, 2^31].
    const int a = (62 - bitLength(energy)) / 2;
    const u64 root = isqrt64(energy << (2 * a));
    const s64 inv = static_cast<s64>((u64{1} << 61) / root);
    const int exp = (nrg >> 2) + 2; // two fraction bits in the spectrum
    const s64 frac = kPow2FracQ30[nrg & 3];
    const int shift = 76 - a - exp;
    for (int i = 0; i < n; i++) {
        const s64 t = ((static_cast<s64>(x[i]) * inv) >> 15) * frac;
        x[i] = shiftSat(t, shift);
    }
}

} // namespace

int laac_PNS(AACDecInfo *dec, int ch) {
    if (!dec || !dec->psInfoBase) return -1;
    PSInfoBase &ps = *dec->psInfoBase;
    if (!ps.pnsUsed[ch]) return ERR_AAC_NONE;
    const ICSInfo &ics = ps.icsInfo[ch];
    const SfbLayout &bands = bandLayout(ps, ics);
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    const bool pair = ch == 1 && ps.commonWin;
    int win = 0;
    for (int g = 0; g < ics.numWinGroup; g++) {
        for (int w = 0; w < ics.winGroupLen[g]; w++, win++) {
            s32 *coef = ps.coef[ch] + (isShort ? win * 128 : 0);
            for (int sfb = 0; sfb < ics.maxSFB; sfb++) {
                const int i = g * ics.maxSFB + sfb;
                if (ps.sfbCodeBook[ch][i] != kCbNoise) continue;
                const int start = bands.offsets[sfb];
                const int width = bands.offsets[sfb + 1] - start;
                const bool msBit =
                    ps.msMaskPresent == 2 || (ps.msMaskPresent == 1 && msMaskBit(ps, g, sfb, ics.maxSFB));
                if (pair && msBit && ps.sfbCodeBook[0][i] == kCbNoise) {
                    // Correlated noise: the left channel's values, at this band's energy.
                    // Brought down to the raw noise's range so the energy sum cannot overflow.
                    const s32 *left = ps.coef[0] + (isShort ? win * 128 : 0) + start;
                    u32 peak = 0;
                    for (int k = 0; k < width; k++)
                        peak |= left[k] < 0 ? 0u - static_cast<u32>(left[k]) : static_cast<u32>(left[k]);
                    const int down = bitLength(peak) > 16 ? bitLength(peak) - 16 : 0;
                    for (int k = 0; k < width; k++) coef[start + k] = left[k] >> down;
                } else {
                    for (int k = 0; k < width; k++) coef[start + k] = nextNoise(ps.pnsLastVal);
                }
                scaleNoise(coef + start, width, ps.scaleFactors[ch][i]);
            }
        }
    }
    refreshGuardBits(ps, ch);
    return ERR_AAC_NONE;
}

} // namespace aacdec
