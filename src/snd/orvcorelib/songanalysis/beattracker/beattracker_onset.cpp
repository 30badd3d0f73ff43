#include "songanalysis/beattracker/beattracker_onset.h"

#include "orvsys/orvfixed.h"
#include "songanalysis/beattracker/beattracker_statics.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Bins above this many below the Nyquist bin carry too little of the beat to count.
constexpr u32 kTopBinsLeftOut = 48;
constexpr float kStartLevel = 0.01f;
constexpr s32 kWindowBefore = 36;
constexpr s32 kWindowSize = kWindowBefore + 1 + BEATTRACKER_PEAK_LOOKAHEAD; // 49
constexpr s32 kNeighbourhood = 12; // a peak is the largest value within 12 frames

// A bin's magnitude must grow by this factor over the previous frame to count as rising:
// the low bins, where sustained bass lives, need the largest jump.
float risingFactor(u32 bin) {
    if (bin < 4) return 4.0f;
    if (bin < 8) return 2.0f;
    if (bin < 64) return 1.3f;
    return 1.1f;
}

// Bin 0 is the signed real part itself, and its previous value is never updated, so a
// positive offset keeps adding to the flux.
float bin0Flux(const s16 *spectrum, float *now, const float *pre) {
    now[0] = static_cast<float>(spectrum[0]) * 0.01f;
    return now[0] > 4.0f * pre[0] ? now[0] - pre[0] : 0.0f;
}

// The rise of the spectrum over the band, weighted by the share of rising bins.
float rawFlux(const s16 *spectrum, u32 fftLen, float *magnitudes) {
    const u32 half = fftLen / 2;
    if (half <= kTopBinsLeftOut) return 0.0f;
    const u32 sfBound = half - kTopBinsLeftOut;
    float *now = magnitudes;
    float *pre = magnitudes + half;
    float flux = bin0Flux(spectrum, now, pre);
    u32 binCount = 0;
    for (u32 k = 1; k < sfBound; ++k) {
        const float re = static_cast<float>(spectrum[2 * k]) * 0.01f;
        const float im = static_cast<float>(spectrum[2 * k + 1]) * 0.01f;
        const float m = std::sqrt(re * re + im * im);
        now[k] = m;
        if (m > risingFactor(k) * pre[k]) {
            flux += m - pre[k];
            ++binCount;
        }
        pre[k] = m;
    }
    return flux * static_cast<float>(binCount) / static_cast<float>(sfBound);
}

// Onsets rise fast and decay slowly.
float smoothFlux(float flux) {
    const float previous = btk::specFluxPre;
    if (flux > previous) {
        flux = 0.9451f * flux + 0.0549f * previous;
    } else {
        flux = (1.0f - 0.9714f) * flux + 0.9714f * previous;
    }
    btk::specFluxPre = flux;
    return flux;
}

u32 slotOf(const circbuff_struct *cb, s64 position) {
    const s64 n = cb->uiSize;
    const s64 r = position % n;
    return static_cast<u32>(r < 0 ? r + n : r);
}

float valueAt(const circbuff_struct *cb, s64 position) {
    return cb->rpBuff[slotOf(cb, position)];
}

// The spread as the root of the summed squares over the ring size; a sliding sum that has
// drifted below 0 by rounding counts as 0 rather than turning into NaN, which would end peak
// picking for the rest of the song.
float spreadOf(float sum2, u32 size) {
    const double squares = sum2 > 0.0f ? static_cast<double>(sum2) : 0.0;
    return static_cast<float>(std::sqrt(squares) / static_cast<double>(size));
}

struct PeakTest {
    const float *w; // the 49-value window; w[36] is the value under test
    float cur;
    float envelope; // before this value's update
    float threshold;
    float mean, std, min;
};

bool isPeak(const PeakTest &t) {
    if (t.cur < t.envelope) return false;
    const float *around = t.w + kWindowBefore - kNeighbourhood;
    for (s32 i = 0; i <= 2 * kNeighbourhood; ++i)
        if (around[i] > t.cur) return false;
    float windowSum = 0.0f;
    for (s32 i = 0; i < kWindowSize; ++i) windowSum += t.w[i];
    if (t.cur < t.threshold + windowSum * 0.020408163f) return false;
    return (t.cur - t.min - t.mean) / t.std >= 0.0f;
}

void storePeak(const s_Peak &peak, s_Peak *pPeaks, s32 *piPeakOffset, s32 *peakTrain, s32 peakTrainSize) {
    const u32 count = static_cast<u32>(*piPeakOffset);
    pPeaks[count & (BEATTRACKER_NUM_PEAKS - 1)] = peak;
    if (peakTrain != nullptr && peakTrainSize > 0 && peak.iLocation < static_cast<u32>(peakTrainSize))
        peakTrain[peak.iLocation] = orv::truncSat32(peak.rValue);
    *piPeakOffset = static_cast<s32>(count + 1u);
}

} // namespace

float calculateSpectralFlux(const s16 *pInFFT, u32 iFFTLen, float *prFFTBuffer,
                            circbuff_struct *circbuffSpectraFlux, u32 iFrameCount, s32 *audioStarted,
                            u32 *audioStartOffset) {
    const float flux = smoothFlux(rawFlux(pInFFT, iFFTLen, prFFTBuffer));
    if (flux >= kStartLevel || *audioStarted != 0) {
        circbuff_write(circbuffSpectraFlux, &flux, 1, 0);
        if (*audioStarted == 0) {
            *audioStarted = 1;
            *audioStartOffset = iFrameCount;
        }
    }
    return flux;
}

void calculateSFStatistics(const circbuff_struct *circbuffSpectraFlux, float *min, float *sum,
                           float *sumForNext, float *mean, float *sum2, float *sum2ForNext, float *std) {
    const circbuff_struct *cb = circbuffSpectraFlux;
    const u32 n = cb->uiSize;
    const float size = static_cast<float>(n);
    const float leaving = valueAt(cb, cb->iWrite); // the slot the next write fills
    float m = 0.0f;
    if (*sum2 == 0.0f) {
        float total = 0.0f;
        float smallest = 1.0e10f;
        for (u32 i = 0; i < n; ++i) {
            const float v = cb->rpBuff[i];
            total += v;
            if (v > 0.0f && v < smallest) smallest = v;
        }
        *sum = total;
        *sumForNext = total - leaving;
        *min = smallest;
        m = total / size;
        float squares = 0.0f;
        for (u32 i = 0; i < n; ++i) squares += (cb->rpBuff[i] - m) * (cb->rpBuff[i] - m);
        *sum2 = squares;
    } else {
        const float newest = valueAt(cb, s64{cb->iWrite} - 1);
        *sum = *sumForNext + newest;
        *sumForNext = *sum - leaving;
        m = *sum / size;
        *sum2 = *sum2ForNext + (newest - m) * (newest - m);
    }
    *sum2ForNext = *sum2 - (leaving - m) * (leaving - m);
    *mean = m;
    *std = spreadOf(*sum2, n);
}

s32 detectPeaks(circbuff_struct *circbuffSpectraFlux, float threshold, float *prEnvelope, s_Peak *pPeaks,
                s32 *piPeakOffset, u32 audioStartOffset, float mean, float std, float min, s32 *peakTrain,
                s32 peakTrainSize) {
    return detectPeaksMapped(circbuffSpectraFlux, threshold, prEnvelope, pPeaks, piPeakOffset,
                             audioStartOffset, nullptr, mean, std, min, peakTrain, peakTrainSize);
}

s32 detectPeaksMapped(circbuff_struct *circbuffSpectraFlux, float threshold, float *prEnvelope,
                      s_Peak *pPeaks, s32 *piPeakOffset, u32 audioStartOffset, const s_FluxGaps *gaps,
                      float mean, float std, float min, s32 *peakTrain, s32 peakTrainSize) {
    circbuff_struct *cb = circbuffSpectraFlux;
    if (std == 0.0f) return 0;
    const float thr = threshold * std;
    s32 found = 0;
    float w[kWindowSize];
    while (circbuff_getNumberOfUnreadData(cb) > BEATTRACKER_PEAK_LOOKAHEAD) {
        const s32 r = cb->iRead;
        circbuff_readAtOffset(cb, w, kWindowSize, r - kWindowBefore);
        float cur = 0.0f;
        circbuff_read(cb, &cur, 1, 0);

        float envelope = *prEnvelope;
        if (envelope <= 0.0f) {
            envelope = w[kWindowBefore - 1];
            *prEnvelope = envelope;
        }
        *prEnvelope = std::max(0.84f * envelope + 0.16f * cur, cur);

        if (!isPeak(PeakTest{w, cur, envelope, thr, mean, std, min})) continue;
        const u32 lost = gaps != nullptr ? fluxGaps_framesLostBefore(gaps, r) : 0u;
        const s_Peak peak{audioStartOffset + static_cast<u32>(r) + lost, cur};
        storePeak(peak, pPeaks, piPeakOffset, peakTrain, peakTrainSize);
        ++found;
    }
    return found;
}

void fluxGaps_recordDrop(s_FluxGaps *gaps, s32 writePosition, s32 readPosition) {
    if (gaps->count > 0 && gaps->position[gaps->count - 1] == writePosition) {
        gaps->framesLost[gaps->count - 1] += 1u; // the ring is still full: the same gap grows
        return;
    }
    // A gap that every unexamined value lies behind only shifts the base. Two gaps lie at
    // least 4083 positions apart, so a third one always finds the oldest folded; folding it
    // regardless keeps the list bounded.
    constexpr s32 kCapacity = static_cast<s32>(std::size(s_FluxGaps{}.position));
    while (gaps->count > 0 && (gaps->position[0] <= readPosition || gaps->count == kCapacity)) {
        gaps->framesLostBefore = gaps->framesLost[0];
        gaps->position[0] = gaps->position[1];
        gaps->framesLost[0] = gaps->framesLost[1];
        gaps->count -= 1;
    }
    const u32 before = gaps->count > 0 ? gaps->framesLost[gaps->count - 1] : gaps->framesLostBefore;
    gaps->position[gaps->count] = writePosition;
    gaps->framesLost[gaps->count] = before + 1u;
    gaps->count += 1;
}

u32 fluxGaps_framesLostBefore(const s_FluxGaps *gaps, s32 position) {
    for (s32 i = gaps->count - 1; i >= 0; --i)
        if (position >= gaps->position[i]) return gaps->framesLost[i];
    return gaps->framesLostBefore;
}

void beattracker_resetOnset(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    bt->audioStartOffset = 0;
    bt->audioStarted = 0;
    std::fill(in->pFFTBuffer, in->pFFTBuffer + bt->iFFTLen, 0.0f);
    circbuff_reset(in->circBuffSpectraFlux);
    in->rSFG = 0.0f;
    in->rSFMean = 0.0f;
    in->rSFMin = 0.0f;
    in->sum = 0.0f;
    in->sumForNext = 0.0f;
    in->sum2 = 0.0f;
    in->sum2ForNext = 0.0f;
    in->rSFStd = 1.0f;
    in->iPeakOffset = 0;
    in->fluxGaps = s_FluxGaps{};
}
