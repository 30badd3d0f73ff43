// Dequantisation: sign x |q|^(4/3) x 2^((sf - 100) / 4), in the spectrum's fixed-point
// format (two fraction bits), with the channel's guard bits taken from the result.
#include "codecs/aacdec/aac_internal.h"
#include "orvmath/orvmath.h"

namespace aacdec {

namespace {

constexpr int kSfOffset = 100;
constexpr s32 kCoefMax = 0x7FFFFFFF;

// Scales the quantised values of one band in place; returns the OR of the magnitudes.
u32 dequantBand(s32 *x, int width, int sf) {
    const int exp = (sf - kSfOffset) >> 2; // floor division: the fraction stays in 0..3
    const u64 frac = static_cast<u64>(kPow2FracQ30[(sf - kSfOffset) & 3]);
    // |q|^(4/3) carries 14 fraction bits, 2^(f/4) 30 and the result keeps 2.
    const int shift = 14 + 30 - 2 - exp;
    u32 mask = 0;
    if (shift >= 64) {
        for (int i = 0; i < width; i++) x[i] = 0;
        return 0;
    }
    if (shift <= 0) {
        // Far beyond any real stream: every non-zero value saturates.
        for (int i = 0; i < width; i++) {
            if (x[i]) x[i] = x[i] < 0 ? -kCoefMax : kCoefMax;
            mask |= x[i] ? static_cast<u32>(kCoefMax) : 0u;
        }
        return mask;
    }
    const u64 round = u64{1} << (shift - 1);
    for (int i = 0; i < width; i++) {
        const s32 q = x[i];
        const u32 sign = q < 0 ? ~0u : 0u;
        u32 mag = (static_cast<u32>(q) ^ sign) - sign;
        mag = mag < kPow43Size ? mag : kPow43Size - 1; // pulses may push past the table
        u64 v = (static_cast<u64>(kPow43Q14[mag]) * frac + round) >> shift;
        v = v < static_cast<u64>(kCoefMax) ? v : static_cast<u64>(kCoefMax);
        const u32 out = static_cast<u32>(v);
        x[i] = static_cast<s32>((out ^ sign) - sign);
        mask |= out;
    }
    return mask;
}

} // namespace

int guardBits(u32 magnitudeOr) {
    if (!magnitudeOr) return 31;
    const int gb = static_cast<int>(orvmath_clz(magnitudeOr)) - 1;
    return gb < 0 ? 0 : gb;
}

void refreshGuardBits(PSInfoBase &ps, int ch) {
    u32 mask = 0;
    for (s32 v : ps.coef[ch]) mask |= v < 0 ? 0u - static_cast<u32>(v) : static_cast<u32>(v);
    ps.gbCurrent[ch] = guardBits(mask);
}

int laac_Dequantize(AACDecInfo *dec, int ch) {
    if (!dec || !dec->psInfoBase) return ERR_AAC_NULL_POINTER;
    PSInfoBase &ps = *dec->psInfoBase;
    const ICSInfo &ics = ps.icsInfo[ch];
    const SfbLayout &bands = bandLayout(ps, ics);
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    ps.pnsUsed[ch] = 0;
    ps.intensityUsed[ch] = 0;
    u32 mask = 0;
    int win = 0;
    for (int g = 0; g < ics.numWinGroup; g++) {
        for (int w = 0; w < ics.winGroupLen[g]; w++, win++) {
            s32 *coef = ps.coef[ch] + (isShort ? win * 128 : 0);
            for (int sfb = 0; sfb < ics.maxSFB; sfb++) {
                const int i = g * ics.maxSFB + sfb;
                const int cb = ps.sfbCodeBook[ch][i];
                if (cb == kCbNoise) {
                    ps.pnsUsed[ch] = 1;
                    dec->pnsUsed = 1;
                } else if (cb == kCbIntensity || cb == kCbIntensity2) {
                    ps.intensityUsed[ch] = 1;
                } else if (cb != kCbZero && cb != kCbReserved) {
                    const int start = bands.offsets[sfb];
                    mask |= dequantBand(coef + start, bands.offsets[sfb + 1] - start, ps.scaleFactors[ch][i]);
                }
            }
        }
    }
    // Pulses may sit above maxSFB only in malformed streams; those values stay as read,
    // which is harmless: the guard bits below cover whatever the spectrum holds.
    ps.gbCurrent[ch] = guardBits(mask);
    return ERR_AAC_NONE;
}

} // namespace aacdec
