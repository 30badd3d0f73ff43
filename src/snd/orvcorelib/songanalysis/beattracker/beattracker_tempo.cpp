#include "songanalysis/beattracker/beattracker_tempo.h"

#include "songanalysis/beattracker/beattracker_config.h"
#include "songanalysis/beattracker/beattracker_statics.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

constexpr s32 kLags = static_cast<s32>(BEATTRACKER_XCORR_SIZE);
constexpr s32 kStableFirst = 127;  // the first estimate passes after 128 stable frames
constexpr s32 kStableSecond = 255; // the second after 256
constexpr float kStableWithin = 0.1f;
constexpr u32 kConfidenceFrom = 5000;

static_assert(4 * btk::kLagMax + 1 < kLags, "the reinforcement reads lags up to 4 * lagMax + 1");

float fluxAt(const circbuff_struct *cb, s32 position) {
    return cb->rpBuff[static_cast<u32>(position) % cb->uiSize];
}

// Sums over the frames seen so far, as means; lags the song has not reached yet have no pairs
// and count 0 (their divisor would be 0 or wrap around).
void normalise(const float *xcorrRaw, u32 frameCount) {
    for (s32 i = 0; i < kLags; ++i) {
        const u32 lag = static_cast<u32>(i);
        btk::xcorr[i] = lag < frameCount ? xcorrRaw[i] / static_cast<float>(frameCount - lag) : 0.0f;
    }
}

// A beat interval is supported by its double and its quadruple too.
void reinforceAndWeigh() {
    float *x = btk::xcorr;
    for (s32 l = btk::kLagMin; l <= btk::kLagMax; ++l) {
        x[l] = 0.7f * x[l] + 0.2f * x[2 * l] + 0.1f * (x[2 * l - 1] + x[2 * l + 1]) + 0.1f * x[4 * l] +
               0.05f * (x[4 * l - 1] + x[4 * l + 1]);
    }
    for (s32 l = btk::kLagMin; l <= btk::kLagMax; ++l) x[l] *= btk::rayleigh[static_cast<size_t>(l)];
}

// The highest strict local maximum among lags [from, to], above `best`; ties keep the lower
// lag. Returns the lag or `idx` unchanged.
s32 searchPeak(s32 from, s32 to, float &best, s32 idx) {
    const float *x = btk::xcorr;
    for (s32 c = from; c <= to; ++c) {
        if (x[c] > best && x[c] > x[c - 1] && x[c] > x[c + 1]) {
            best = x[c];
            idx = c;
        }
    }
    return idx;
}

bool isAcceptedLag(s32 idx) {
    return idx >= btk::kLagMin + 1 && idx <= btk::kLagMax;
}

// The peak's position with a fractional part from a parabola through it and its neighbours.
float refine(s32 idx) {
    const float l = btk::xcorr[idx - 1];
    const float p = btk::xcorr[idx];
    const float r = btk::xcorr[idx + 1];
    const float offset = 0.5f * (l - r) / (l + r - 2.0f * p);
    const float at = static_cast<float>(idx);
    return offset > -1.0f && offset < 1.0f ? at + offset : at;
}

// A lag of the curve is a whole frame, about 23 ms at the device's frame rate: the peak of a
// tempo between two lags is placed by a parabola through three reinforced values, and the
// reinforcement itself reads the double and the quadruple at whole lags, so the fraction comes
// out up to a tenth of a frame off. The agents adapt their interval by a three-thousandth of
// each error only, so they keep such an error for minutes and fall out of step. The peak of a
// song's beat repeats at four times its lag (a bar of four beats), where the same whole-frame
// step is a quarter of the error: that peak, not reinforced and refined by its own parabola,
// gives the fraction. Where there is no clear peak there, the first refinement stands.
float refineByQuadruple(s32 idx, float coarse, u32 frameCount) {
    const s32 centre = 4 * idx;
    constexpr s32 kReach = 2;
    if (centre + kReach + 1 >= static_cast<s32>(frameCount) || centre + kReach + 1 >= kLags) return coarse;
    const float *x = btk::xcorr;
    s32 top = centre - kReach;
    for (s32 c = centre - kReach + 1; c <= centre + kReach; ++c)
        if (x[c] > x[top]) top = c;
    if (!(x[top] > x[top - 1] && x[top] > x[top + 1])) return coarse;
    const float l = x[top - 1];
    const float p = x[top];
    const float r = x[top + 1];
    const float offset = 0.5f * (l - r) / (l + r - 2.0f * p);
    if (!(offset > -1.0f && offset < 1.0f)) return coarse;
    const float fine = (static_cast<float>(top) + offset) / 4.0f;
    return std::fabs(fine - coarse) < 0.5f ? fine : coarse;
}

s32 countStable(s32 counter, float previous, float current) {
    if (!(std::fabs(previous - current) < kStableWithin)) return 0;
    return counter < std::numeric_limits<s32>::max() ? counter + 1 : counter;
}

} // namespace

void _CalcXcorrRaw(const circbuff_struct *cbFlux, float *xcorrRaw) {
    const s32 written = cbFlux->iWrite;
    const s32 limit = std::min(written - 1, kLags);
    if (limit <= btk::kLagMin) return;
    const float newest = fluxAt(cbFlux, written - 1);
    for (s32 lag = btk::kLagMin; lag < limit; ++lag)
        xcorrRaw[lag] += newest * fluxAt(cbFlux, written - 1 - lag) * 0.0001f;
}

void buildTempoCurve(u32 frameCount, const float *xcorrRaw) {
    normalise(xcorrRaw, frameCount);
    reinforceAndWeigh();
}

s32 pickBeatIntervals(float *rBI, u32 frameCount) {
    const float *x = btk::xcorr;
    float best = 0.0f;
    const s32 idx = searchPeak(btk::kLagMin + 1, btk::kLagMax - 1, best, 0);
    if (!isAcceptedLag(idx) || x[idx - 1] > x[idx] || x[idx + 1] > x[idx]) return -1;
    rBI[0] = refineByQuadruple(idx, refine(idx), frameCount);

    float second = 0.0f;
    s32 idx2 = searchPeak(btk::kLagMin + 1, idx - 2, second, 0);
    idx2 = searchPeak(idx + 1, btk::kLagMax - 1, second, idx2);
    if (isAcceptedLag(idx2)) {
        rBI[1] = refineByQuadruple(idx2, refine(idx2), frameCount);
        btk::biConfidence =
            frameCount > kConfidenceFrom ? std::pow(static_cast<float>(frameCount) * 0.0005f, 0.12f) : 0.0f;
    }
    return 0;
}

s32 _EstimateBIFromXcorr(float *rBI, u32 frameCount, const float *xcorrRaw) {
    buildTempoCurve(frameCount, xcorrRaw);
    return pickBeatIntervals(rBI, frameCount);
}

void beattracker_gateTempo(beattracker_struct *bt) {
    float *candidates = bt->private_->rICBeatInterval;
    if (bt->initialBI > bt->lowerBI && bt->initialBI < bt->upperBI) {
        if (bt->userInputMode == USERINPUTMODE_GUIDE) {
            candidates[1] = candidates[0];
            candidates[0] = bt->initialBI;
        } else if (bt->userInputMode == USERINPUTMODE_OVERWRITE) {
            candidates[0] = bt->initialBI;
            candidates[1] = bt->initialBI;
        }
    }
    btk::biConfidenceCounter1 = countStable(btk::biConfidenceCounter1, btk::biPre0, candidates[0]);
    btk::biConfidenceCounter2 = countStable(btk::biConfidenceCounter2, btk::biPre1, candidates[1]);
    btk::biPre0 = candidates[0];
    btk::biPre1 = candidates[1];
    if (btk::biConfidenceCounter1 <= kStableFirst) candidates[0] = 0.0f;
    if (btk::biConfidenceCounter2 <= kStableSecond) candidates[1] = 0.0f;
    bt->rBeatIntervalXcorr = btk::biPre0;
}

void beattracker_resetTempo() {
    std::fill(std::begin(btk::xcorrRaw), std::end(btk::xcorrRaw), 0.0f);
}
