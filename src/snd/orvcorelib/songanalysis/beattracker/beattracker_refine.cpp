// The measuring and placing steps of the offline finish: the beat interval from the tracked
// beats, the tempo snap, and the two correlation passes that lay the beats over the song.
#include "songanalysis/beattracker/beattracker_finalize.h"

#include "orvsys/orvfixed.h"
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/beattracker/beattracker_config.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr float kTempoNumerator = btk::kTempoNumerator; // K
constexpr float kFrameSize = btk::kFrameLength;         // F
constexpr s32 kMaxLags = btk::kLagMax;                  // the longest admissible beat interval

constexpr s32 kCoarseWindow = 16384;
constexpr s32 kCoarseHalfWidth = 7;
constexpr s32 kCoarseSearch = 6; // frames either side of a pulse searched for a peak
constexpr std::array<float, 15> kCoarsePulse = {1.0f,     2.059f,   3.7937f,  6.2547f,  9.2278f,
                                                12.1825f, 14.3919f, 15.2141f, 14.3919f, 12.1825f,
                                                9.2278f,  6.2547f,  3.7937f,  2.059f,   1.0f};
constexpr s32 kFineWindow = 2048;
constexpr s32 kFineHalfWidth = 3;
constexpr std::array<s16, 7> kFinePulse = {0, 1, 3, 10, 3, 1, 0};
constexpr s32 kMaxGaps = 64;

using Scores = std::array<u32, kMaxLags>;

// Whole part of x + 0.5, for positive x the nearest whole number.
float nearest(float x) {
    return std::trunc(x + 0.5f);
}

s32 frameNear(float x) {
    return orv::truncSat32(x + 0.5f);
}

s32 lagCount(float B) {
    return std::min(orv::truncSat32(B), kMaxLags);
}

// A pulse train of interval B starting at frame `halfWidth`, pulses kept whole inside the
// window.
template <size_t N, typename Pulse>
void buildTemplate(std::array<s16, N> &tmpl, s32 window, float B, const Pulse &pulse, s32 halfWidth) {
    std::fill(tmpl.begin(), tmpl.begin() + window, s16{0});
    for (float x = static_cast<float>(halfWidth);; x += B) {
        const s32 c = frameNear(x);
        if (c >= window - halfWidth) break;
        for (s32 j = 0; j <= 2 * halfWidth; ++j)
            tmpl[static_cast<size_t>(c - halfWidth + j)] = static_cast<s16>(pulse[j]);
    }
}

// score[l] = sum over m < length - lags of tmpl[m] * train[base + l + m], in unsigned 32-bit
// arithmetic. Returns the first lag of the largest score.
template <typename T>
s32 scoreLags(const s16 *tmpl, const T *train, s32 base, s32 length, s32 lags, Scores &score) {
    std::fill(score.begin(), score.begin() + lags, 0u);
    for (s32 m = 0; m < length - lags; ++m) {
        if (tmpl[m] == 0) continue;
        const u32 weight = static_cast<u32>(tmpl[m]);
        for (s32 l = 0; l < lags; ++l)
            score[static_cast<size_t>(l)] += weight * static_cast<u32>(train[base + l + m]);
    }
    s32 best = 0;
    for (s32 l = 1; l < lags; ++l)
        if (score[static_cast<size_t>(l)] > score[static_cast<size_t>(best)]) best = l;
    return best;
}

// The best lag with a fractional part from a parabola through its neighbours (which wrap
// around the lag range). Between best - 0.5 and best + 0.5, or NaN when all three are equal.
float refineLag(const Scores &score, s32 lags, s32 best) {
    const float y0 = static_cast<float>(score[static_cast<size_t>(best)]);
    const float y1m = static_cast<float>(score[static_cast<size_t>(best == 0 ? lags - 1 : best - 1)]);
    const float y1p = static_cast<float>(score[static_cast<size_t>(best == lags - 1 ? 0 : best + 1)]);
    return static_cast<float>(best) + 0.5f * (y1m - y1p) / (y1m + y1p - 2.0f * y0);
}

struct Window {
    s32 scored; // frames correlated
    s32 filled; // frames whose beats this window places
    bool last;
};

// The next window from winStart; none (scored 0) when the rest is shorter than the lags.
Window windowAt(s32 winStart, s32 size, s32 window, s32 lags) {
    if (size > winStart + window - 1) return Window{window, window / 2, false};
    const s32 rest = size - winStart;
    if (lags > rest) return Window{0, 0, true};
    return Window{rest, rest, true};
}

// The first peak of the train within the search distance of frame c, c itself first, then
// alternately after and before it; frames after c only while inside the first window's span.
s32 peakNear(const s32 *peakTrain, s32 size, s64 c, s32 window) {
    for (s32 d = 0; d <= kCoarseSearch; ++d) {
        const s64 after = c + d;
        if ((d == 0 || after < window) && after >= 0 && after < size && peakTrain[after] > 0)
            return static_cast<s32>(after);
        const s64 before = c - d;
        if (before >= 0 && before < size && peakTrain[before] > 0) return static_cast<s32>(before);
    }
    return -1;
}

} // namespace

u32 _Median(const u32 *m, u32 n) {
    u32 min = m[0];
    u32 max = m[0];
    for (u32 i = 1; i < n; ++i) {
        min = std::min(min, m[i]);
        max = std::max(max, m[i]);
    }
    const u32 half = static_cast<u32>((u64{n} + 1) / 2);
    u32 guess = 0, less = 0, equal = 0, greater = 0, maxBelow = 0, minAbove = 0;
    for (;;) {
        guess = static_cast<u32>((u64{min} + max) / 2);
        less = equal = greater = 0;
        maxBelow = min;
        minAbove = max;
        for (u32 i = 0; i < n; ++i) {
            if (m[i] < guess) {
                ++less;
                if (m[i] > maxBelow) maxBelow = m[i];
            } else if (m[i] > guess) {
                ++greater;
                if (m[i] < minAbove) minAbove = m[i];
            } else {
                ++equal;
            }
        }
        if (less <= half && greater <= half) break;
        if (less > greater) {
            max = maxBelow;
        } else {
            min = minAbove;
        }
    }
    if (less >= half) return maxBelow;
    if (less + equal >= half) return guess;
    return minAbove;
}

float _RefineBeatInterval(const u32 *beatIntervals, u32 size, u32 trustRegion) {
    const s64 median = _Median(beatIntervals, size);
    const s64 region = trustRegion;
    u64 sum = 0;
    u32 count = 0;
    for (u32 i = 0; i < size; ++i) {
        const s64 span = beatIntervals[i];
        if (span > median - region && span < median + region) {
            sum += beatIntervals[i];
            ++count;
        }
    }
    const float firstMean = static_cast<float>(sum) / static_cast<float>(count); // the median counts
    const float halfRegion = static_cast<float>(trustRegion / 2);
    sum = 0;
    count = 0;
    for (u32 i = 0; i < size; ++i) {
        const float span = static_cast<float>(beatIntervals[i]);
        if (span > firstMean - halfRegion && span < firstMean + halfRegion) {
            sum += beatIntervals[i];
            ++count;
        }
    }
    if (count == 0) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(sum) / static_cast<float>(count);
}

float snapTempo(float bpm) {
    if (!std::isfinite(bpm)) return bpm;
    const float whole = nearest(bpm);
    if (std::fabs(bpm - whole) < 0.045f) return whole;
    const float tenths = nearest(bpm * 10.0f);
    if (std::fabs(bpm - tenths * 0.1f) < 0.03f) return tenths * 0.1f;
    const float twentieths = nearest(bpm * 20.0f);
    if (std::fabs(bpm - twentieths * 0.05f) < 0.01f) return twentieths * 0.05f;
    return bpm;
}

float _MagnetizeBeatInterval(float rBeatInterval) {
    return snapTempo(kTempoNumerator / (rBeatInterval * 0.25f * kFrameSize));
}

void _RefineBeatsCoarse(const s32 *peakTrain, s32 size, s16 *beatTrain, float B) {
    if (size <= 0 || !(B >= 1.0f) || !std::isfinite(B)) return;
    const s32 window = std::min(size, kCoarseWindow);
    const s32 lags = lagCount(B);
    std::array<s16, kCoarseWindow> tmpl;
    buildTemplate(tmpl, window, B, kCoarsePulse, kCoarseHalfWidth);
    Scores score{};

    s32 winStart = kCoarseHalfWidth;
    while (winStart < size - 1) {
        const Window w = windowAt(winStart, size, window, lags);
        if (w.scored == 0) break;
        const s32 best =
            scoreLags(tmpl.data(), peakTrain, winStart - kCoarseHalfWidth, w.scored, lags, score);
        if (score[static_cast<size_t>(best)] == 0) { // no peak in this window
            winStart += w.scored + kCoarseHalfWidth - 1;
            continue;
        }
        std::fill(beatTrain + winStart, beatTrain + winStart + w.filled, s16{0});
        float rIdx = refineLag(score, lags, best);
        s32 lastOffset = -1;
        while (std::isfinite(rIdx) && rIdx < static_cast<float>(w.filled - 1)) {
            lastOffset = frameNear(rIdx);
            const s32 at = peakNear(peakTrain, size, s64{winStart} + lastOffset, window);
            if (at >= 0) beatTrain[at] = orv::sat16(peakTrain[at]);
            rIdx += B;
        }
        winStart += lastOffset >= 0 ? lastOffset + kCoarseHalfWidth : w.scored + kCoarseHalfWidth - 1;
    }
}

namespace {

struct Gap {
    s32 start, end;
};

struct FineResult {
    s32 firstBeat = -1;
    s32 lastBeat = -1;
    std::array<Gap, kMaxGaps> gaps{};
    s32 gapCount = 0;
};

void markFine(s16 *beatTrain, s32 frame, FineResult &r) {
    beatTrain[frame] = BEATTRAIN_FINE;
    if (r.firstBeat < 0) r.firstBeat = frame;
    r.lastBeat = frame;
}

// Window by window, the best fit of the pulse train marks its pulses; windows without any
// candidate are remembered as gaps (beyond 64 of them they are left as they are).
FineResult placeFineBeats(s16 *beatTrain, s32 size, float B) {
    FineResult r;
    const s32 window = std::min(size, kFineWindow);
    const s32 lags = lagCount(B);
    std::array<s16, kFineWindow> tmpl;
    buildTemplate(tmpl, window, B, kFinePulse, kFineHalfWidth);
    Scores score{};

    s32 winStart = kFineHalfWidth;
    while (winStart < size - 1) {
        const Window w = windowAt(winStart, size, window, lags);
        if (w.scored == 0) break;
        const s32 best = scoreLags(tmpl.data(), beatTrain, winStart - kFineHalfWidth, w.scored, lags, score);
        if (score[static_cast<size_t>(best)] == 0) {
            if (r.gapCount < kMaxGaps)
                r.gaps[static_cast<size_t>(r.gapCount++)] = Gap{winStart, winStart + w.filled};
            winStart += w.filled + kFineHalfWidth;
            continue;
        }
        float rIdx = refineLag(score, lags, best);
        s32 lastOffset = -1;
        while (std::isfinite(rIdx) && rIdx < static_cast<float>(w.filled - 1)) {
            lastOffset = frameNear(rIdx);
            const s64 frame = s64{winStart} + lastOffset;
            if (frame >= 0 && frame < size) markFine(beatTrain, static_cast<s32>(frame), r);
            rIdx += B;
        }
        winStart += lastOffset >= 0 ? lastOffset + kFineHalfWidth : w.scored + kFineHalfWidth - 1;
    }
    return r;
}

// Position k intervals from a frame. Counted rather than summed, so that rounding does not
// build up over a long song and every step moves on.
float stepsFrom(s32 frame, s32 k, float B) {
    return static_cast<float>(frame) + static_cast<float>(k) * B;
}

// Beats laid one interval apart from the first placed beat back to the song's start, and
// from the last one on to its end (from B - 1 when nothing was placed). The passes cannot
// place a beat in the song's first frames, so a song that starts on a beat has its first
// placed beat about one interval in: the beat before it counts when its nearest frame is
// frame 0 or later, also when it lies up to half a frame before the first frame.
void extendToEnds(s16 *beatTrain, s32 size, float B, const FineResult &r) {
    if (static_cast<float>(r.firstBeat) - B + 0.5f >= 0.0f) {
        for (s32 k = -1;; --k) {
            const s32 c = frameNear(stepsFrom(r.firstBeat, k, B));
            if (c < 0) break;
            beatTrain[c] = BEATTRAIN_FINE;
        }
    }
    if (static_cast<float>(r.lastBeat) < static_cast<float>(size) - B - 1.0f) {
        for (s32 k = 1;; ++k) {
            const s32 c = frameNear(stepsFrom(r.lastBeat, k, B));
            if (c >= size) break;
            if (c >= 0) beatTrain[c] = BEATTRAIN_FINE;
        }
    }
}

// A window without candidates between placed beats gets beats at the interval from the last
// marked frame before it up to the first marked frame after it.
void fillGaps(s16 *beatTrain, float B, const FineResult &r) {
    for (s32 g = 0; g < r.gapCount; ++g) {
        const Gap gap = r.gaps[static_cast<size_t>(g)];
        if (!(r.firstBeat < gap.end && r.lastBeat > gap.start)) continue;
        s32 s = gap.start;
        while (s > r.firstBeat && beatTrain[s] == 0) --s;
        s32 e = gap.end;
        while (e < r.lastBeat && beatTrain[e] == 0) ++e;
        for (s32 k = 1;; ++k) {
            const s32 c = frameNear(stepsFrom(s, k, B));
            if (c >= e) break;
            beatTrain[c] = BEATTRAIN_FINE;
        }
    }
}

} // namespace

void _RefineBeats(s16 *beatTrain, s32 size, float B) {
    if (size <= 0 || !(B >= 1.0f) || !std::isfinite(B)) return;
    const FineResult r = placeFineBeats(beatTrain, size, B);
    extendToEnds(beatTrain, size, B, r);
    fillGaps(beatTrain, B, r);
}

namespace {

constexpr u32 kBar = 4; // beats of a bar

// Index of the final beat that a recorded downbeat marks, or -1 when it lies farther than a
// quarter of the local beat spacing from every final beat (a bar the final grid does not share).
s64 beatMarkedBy(const u32 *beats, u32 bsize, u32 frame) {
    const u32 *next = std::lower_bound(beats, beats + bsize, frame);
    const s64 after = next - beats;
    s64 best = -1;
    u64 bestDistance = std::numeric_limits<u64>::max();
    for (const s64 j : {after - 1, after}) {
        if (j < 0 || j >= s64{bsize}) continue;
        const u64 b = beats[j];
        const u64 distance = b > frame ? b - frame : frame - b;
        if (distance < bestDistance) {
            best = j;
            bestDistance = distance;
        }
    }
    if (best < 0 || bsize < 2) return best;
    const s64 left = best > 0 ? best - 1 : best;
    const u64 spacing = u64{beats[left + 1]} - beats[left];
    return 4 * bestDistance < spacing ? best : -1;
}

// The bar position of the first final beat, as the downbeats recorded while tracking place
// it: each recorded downbeat votes for the phase of the final beat it lies on; the phase
// with the most votes wins, the lowest on ties, so without votes the first beat starts a bar.
// The final beats are laid anew from the song's start, so their count before the first bar
// line is not known otherwise; the recorded downbeats carry the bar scoring of the peaks.
u32 barPhase(const u32 *beats, u32 bsize, const u32 *recorded, u32 recordedSize) {
    std::array<u32, kBar> votes{};
    for (u32 i = 0; i < recordedSize; ++i) {
        const s64 j = beatMarkedBy(beats, bsize, recorded[i]);
        if (j >= 0) ++votes[static_cast<size_t>(j % kBar)];
    }
    return static_cast<u32>(std::max_element(votes.begin(), votes.end()) - votes.begin());
}

} // namespace

u32 _RefineDownbeats(const u32 *beats, u32 bsize, u32 *downbeats, u32 dbsize) {
    const u32 recorded = std::min(dbsize, BEATTRACKER_MAX_DOWNBEATS);
    const u32 phase = barPhase(beats, bsize, downbeats, recorded);
    std::fill(downbeats, downbeats + recorded, 0u);
    u32 count = 0;
    for (u64 k = phase; k < bsize && count < BEATTRACKER_MAX_DOWNBEATS; k += kBar)
        downbeats[count++] = beats[k];
    return count;
}
