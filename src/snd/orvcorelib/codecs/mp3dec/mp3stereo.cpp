// Joint-stereo tools: mid/side sums and MPEG-1 and MPEG-2 intensity stereo. Values arrive
// with at least one guard bit (or clipped to 2^30 - 1), so sums and products fit 32 bits.
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvfixed.h"

#include <algorithm>

namespace {

constexpr s32 kOneQ30 = 1 << 30;
constexpr s32 kSqrt2Q30 = 1518500250;

s32 mulQ30(s32 x, s32 k) {
    return static_cast<s32>(orv::mul64(x, k) >> 30);
}

// Splits the left value of each line of [start, end) into both channels with the factors.
void applyFactors(s32 x[MAX_NCHAN][MAX_NSAMP], int start, int end, int step, s32 kl, s32 kr, u32 mOut[2]) {
    for (int i = start; i < end; i += step) {
        const s32 v = x[0][i];
        x[0][i] = mulQ30(v, kl);
        x[1][i] = mulQ30(v, kr);
        mOut[0] |= lmp3_Magnitude(x[0][i]);
        mOut[1] |= lmp3_Magnitude(x[1][i]);
    }
}

// The bands an intensity tool covers, from the right channel's last non-zero band on.
// visit(long band or short band, window or -1, first line, end line, step).
template <typename Visit>
void forIntensityBands(const FrameHeader *fh, const CriticalBandInfo &cbi, int nSamps, Visit visit) {
    const SFBandTable *sfb = fh->sfBand;
    const bool shortPart = cbi.cbType == CB_SHORT || (cbi.cbType == CB_MIXED && cbi.cbEndSMax > 0);
    if (cbi.cbType == CB_LONG || !shortPart) {
        const int lastLong = cbi.cbType == CB_LONG ? 22 : (fh->ver == MPEG1 ? 8 : 6);
        for (int band = cbi.cbEndL; band < lastLong; ++band) {
            const int start = sfb->l[band];
            if (start >= nSamps) return;
            visit(band, -1, start, std::min<int>(sfb->l[band + 1], nSamps), 1);
        }
        if (cbi.cbType == CB_LONG) return;
    }
    const int firstShort = cbi.cbType == CB_MIXED ? 3 : 0;
    for (int w = 0; w < 3; ++w) {
        for (int band = std::max(cbi.cbEndS[w], firstShort); band < 13; ++band) {
            const int start = 3 * sfb->s[band] + w;
            if (start >= nSamps) break;
            visit(band, w, start, std::min(3 * sfb->s[band + 1], nSamps), 3);
        }
    }
}

} // namespace

void lmp3_MidSideProc(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, u32 mOut[2]) {
    nSamps = std::clamp(nSamps, 0, MAX_NSAMP);
    // Local accumulators (mOut could alias x) and runs of four the compiler can vectorise.
    u32 left = 0, right = 0;
    const auto line = [&](int i) {
        const s32 mid = x[0][i];
        const s32 side = x[1][i];
        x[0][i] = mid + side;
        x[1][i] = mid - side;
        left |= lmp3_Magnitude(x[0][i]);
        right |= lmp3_Magnitude(x[1][i]);
    };
    int i = 0;
    for (; i + 4 <= nSamps; i += 4)
        for (int k = 0; k < 4; ++k) line(i + k);
    for (; i < nSamps; ++i) line(i);
    mOut[0] |= left;
    mOut[1] |= right;
}

void lmp3_IntensityProcMPEG1(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, const FrameHeader *fh,
                             const ScaleFactorInfoSub *sfis, const CriticalBandInfo *cbi, int midSideFlag,
                             int mixFlag, u32 mOut[2]) {
    (void)mixFlag;
    const int ms = midSideFlag ? 1 : 0;
    const s32 unity = ms ? kSqrt2Q30 : kOneQ30;
    nSamps = std::clamp(nSamps, 0, MAX_NSAMP);
    forIntensityBands(fh, cbi[1], nSamps, [&](int band, int w, int start, int end, int step) {
        // The top band carries no position of its own: it takes the one below.
        const int pos = w < 0 ? sfis->l[std::min(band, 20)] : sfis->s[std::min(band, 11)][w];
        if (pos >= 7) {
            applyFactors(x, start, end, step, lmp3_ISFIIP[ms][0], lmp3_ISFIIP[ms][1], mOut);
            return;
        }
        const s32 kl = lmp3_ISFMpeg1[ms][pos];
        applyFactors(x, start, end, step, kl, unity - kl, mOut);
    });
}

void lmp3_IntensityProcMPEG2(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, const FrameHeader *fh,
                             const ScaleFactorInfoSub *sfis, const CriticalBandInfo *cbi,
                             const ScaleFactorJS *sfjs, int midSideFlag, int mixFlag, u32 mOut[2]) {
    const int ms = midSideFlag ? 1 : 0;
    nSamps = std::clamp(nSamps, 0, MAX_NSAMP);

    // The illegal (largest) position of each band follows from its partition's bit length.
    int maxPosL[22] = {}, maxPosS[13] = {};
    const int longBands = cbi[1].cbType == CB_LONG ? 21 : (mixFlag ? 6 : 0);
    int longBand = 0, shortIdx = 0;
    const int firstShort = mixFlag ? 3 : 0;
    for (int part = 0; part < 4; ++part) {
        const int slen = std::clamp(sfjs->slen[part], 0, 30);
        for (int i = 0; i < sfjs->nr[part]; ++i) {
            if (longBand < longBands) {
                maxPosL[longBand++] = (1 << slen) - 1;
            } else {
                const int band = firstShort + shortIdx++ / 3;
                if (band < 13) maxPosS[band] = (1 << slen) - 1;
            }
        }
    }

    const s32 *factor = lmp3_ISFMpeg2[sfjs->intensityScale & 1][ms];
    forIntensityBands(fh, cbi[1], nSamps, [&](int band, int w, int start, int end, int step) {
        const int src = w < 0 ? std::min(band, 20) : std::min(band, 11);
        const int pos = w < 0 ? sfis->l[src] : sfis->s[src][w];
        const int illegal = w < 0 ? maxPosL[src] : maxPosS[src];
        const int k = (pos + 1) >> 1;
        if (pos == illegal || k > 15) {
            applyFactors(x, start, end, step, lmp3_ISFIIP[ms][0], lmp3_ISFIIP[ms][1], mOut);
            return;
        }
        if (pos & 1)
            applyFactors(x, start, end, step, factor[k], factor[0], mOut);
        else
            applyFactors(x, start, end, step, factor[0], factor[k], mOut);
    });
}
