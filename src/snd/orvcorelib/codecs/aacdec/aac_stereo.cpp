// Joint stereo of a channel pair with a common window: M/S and intensity stereo.
#include "codecs/aacdec/aac_internal.h"
#include "orvsys/orvconfig.h"
#include "orvsys/orvfixed.h"

namespace aacdec {

namespace {

// x * 2^(-pos / 4), saturated.
s32 scaleByIntensity(s32 x, int pos) {
    const int neg = -pos;
    const int exp = neg >> 2;
    const s64 prod = static_cast<s64>(x) * kPow2FracQ30[neg & 3];
    const int shift = 30 - exp;
    if (shift >= 63) return prod < 0 ? -1 : 0;
    if (shift <= 0) return prod > 0 ? 0x7FFFFFFF : (prod < 0 ? -0x7FFFFFFF : 0);
    return satSym32(prod >> shift);
}

void midSide(s32 *l, s32 *r, int n) {
    for (int i = 0; i < n; i++) {
        const s64 m = l[i];
        const s64 s = r[i];
        l[i] = satSym32(m + s);
        r[i] = satSym32(m - s);
    }
}

} // namespace

int laac_StereoProcess(AACDecInfo *dec, int forceMono) {
    if (!dec || !dec->psInfoBase) return -1;
    PSInfoBase &ps = *dec->psInfoBase;
    // With one output channel the left spectrum is the mid spectrum plus a side taken as
    // zero, and intensity only shapes the right: nothing to do.
    if (orv::kDesktopConfig && forceMono) return ERR_AAC_NONE;
    if (!ps.commonWin || (!ps.msMaskPresent && !ps.intensityUsed[1])) return ERR_AAC_NONE;

    const ICSInfo &ics = ps.icsInfo[0];
    const SfbLayout &bands = bandLayout(ps, ics);
    const bool isShort = ics.winSequence == kWinSeqEightShort;
    int win = 0;
    for (int g = 0; g < ics.numWinGroup; g++) {
        for (int w = 0; w < ics.winGroupLen[g]; w++, win++) {
            s32 *left = ps.coef[0] + (isShort ? win * 128 : 0);
            s32 *right = ps.coef[1] + (isShort ? win * 128 : 0);
            for (int sfb = 0; sfb < ics.maxSFB; sfb++) {
                const int i = g * ics.maxSFB + sfb;
                const int cbL = ps.sfbCodeBook[0][i];
                const int cbR = ps.sfbCodeBook[1][i];
                const bool msBit =
                    ps.msMaskPresent == 2 || (ps.msMaskPresent == 1 && msMaskBit(ps, g, sfb, ics.maxSFB));
                const int start = bands.offsets[sfb];
                const int width = bands.offsets[sfb + 1] - start;
                if (cbR == kCbIntensity || cbR == kCbIntensity2) {
                    bool negate = cbR == kCbIntensity2;
                    if (ps.msMaskPresent == 1 && msBit) negate = !negate;
                    const int pos = ps.scaleFactors[1][i];
                    for (int k = 0; k < width; k++) {
                        const s32 v = scaleByIntensity(left[start + k], pos);
                        right[start + k] = negate ? -v : v;
                    }
                } else if (msBit && cbL != kCbNoise && cbR != kCbNoise) {
                    midSide(left + start, right + start, width);
                }
            }
        }
    }
    refreshGuardBits(ps, 0);
    refreshGuardBits(ps, 1);
    return ERR_AAC_NONE;
}

} // namespace aacdec
