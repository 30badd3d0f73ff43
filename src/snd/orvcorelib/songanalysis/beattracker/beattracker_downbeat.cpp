#include "songanalysis/beattracker/beattracker_downbeat.h"

#include <array>

namespace {

constexpr s32 kPeakRing = static_cast<s32>(BEATTRACKER_NUM_PEAKS);
constexpr s32 kBlock = 4;          // beats of a bar
constexpr s32 kLookAhead = 16;     // beats whose peaks score one block: four bars
constexpr s32 kTappedPrior = 4000; // score of the tapped phase, times the tap weight
constexpr float kMinConfidence = 0.1f;

using BeatPeaks = std::array<float, kLookAhead>;

// Strength of the peak on each of the 16 beats from `first` on (0 where none lies within a
// frame). Peak locations ascend through the ring, so each search goes on from the last hit and
// ends once the peaks have passed the beat. Only the newest 2048 peaks are held.
BeatPeaks peaksOnBeats(const s_Peak *pPeaks, s32 iPeakOffset, const u32 *beats) {
    BeatPeaks values{};
    s32 start = iPeakOffset > kPeakRing ? iPeakOffset - kPeakRing : 0;
    for (s32 j = 0; j < kLookAhead; ++j) {
        // Unsigned on purpose: a beat at frame 0 has no frame before it and matches nothing.
        const u32 from = beats[j] - 1u;
        const u64 to = u64{beats[j]} + 1u;
        for (s32 i = start; i < iPeakOffset; ++i) {
            const s_Peak &peak = pPeaks[static_cast<u32>(i) & static_cast<u32>(kPeakRing - 1)];
            if (peak.iLocation > to) break;
            if (peak.iLocation >= from) {
                values[j] = peak.rValue;
                start = i;
                break;
            }
        }
    }
    return values;
}

// Adds the peaks of three bars to each phase's score, read as if the bar began at that phase.
void scorePhases(float *rDB4, const BeatPeaks &v, const float *beatPattern) {
    for (s32 p = 0; p < kBlock; ++p) {
        float sum = 0.0f;
        for (s32 m = 0; m < kBlock; ++m) sum += beatPattern[m] * (v[p + m] + v[p + m + 4] + v[p + m + 8]);
        rDB4[p] += sum;
    }
}

struct Phase {
    s32 index;
    float confidence;
};

// The best phase (the lowest on ties; phase 0 unless a score beats max(0, phase 0's)) and how
// clearly it leads: 0.25 for four equal scores, 1 when it holds everything.
Phase bestPhase(const float *rDB4) {
    Phase best{0, 0.0f};
    float value = rDB4[0] > 0.0f ? rDB4[0] : 0.0f;
    float sum = rDB4[0];
    for (s32 p = 1; p < kBlock; ++p) {
        sum += rDB4[p];
        if (rDB4[p] > value) {
            value = rDB4[p];
            best.index = p;
        }
    }
    if (sum > 0.0f) {
        const float c = 5.0f * value / sum - 1.0f;
        best.confidence = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
    }
    return best;
}

void restartScores(const DownbeatState &s, s32 tappedDownbeatOffset, s32 tapWeight) {
    const bool tapped = tappedDownbeatOffset >= 0 && tappedDownbeatOffset < kBlock;
    const s64 prior = s64{kTappedPrior} * tapWeight;
    for (s32 p = 0; p < kBlock; ++p)
        s.rDB4[p] = tapped ? static_cast<float>(p == tappedDownbeatOffset ? prior : -prior) : 0.0f;
    *s.numBeatsProcessed = 0;
    *s.numPeaksProcessed = 0;
    *s.downbeatSize = 0;
    *s.downbeatSizeRaw = 0;
}

void appendDownbeat(u32 *downbeats, u32 *size, u32 frame) {
    if (*size < BEATTRACKER_MAX_DOWNBEATS) downbeats[(*size)++] = frame;
}

} // namespace

void findDownbeat4(const s_Peak *pPeaks, s32 iPeakOffset, const u32 *beats, u32 beatSize,
                   const DownbeatState &state, const float *beatPattern, s32 tappedDownbeatOffset,
                   s32 tapWeight, bool restart) {
    if (restart) restartScores(state, tappedDownbeatOffset, tapWeight);
    if (beatSize < kLookAhead) return;
    if (*state.numBeatsProcessed < 0) *state.numBeatsProcessed = 0;

    Phase phase{0, 0.0f};
    bool scored = false;
    while (s64{*state.numBeatsProcessed} < s64{beatSize} - kLookAhead) {
        const u32 first = static_cast<u32>(*state.numBeatsProcessed);
        scorePhases(state.rDB4, peaksOnBeats(pPeaks, iPeakOffset, beats + first), beatPattern);
        phase = bestPhase(state.rDB4);
        appendDownbeat(state.downbeats, state.downbeatSize, beats[first + static_cast<u32>(phase.index)]);
        *state.numBeatsProcessed += kBlock;
        scored = true;
    }
    if (!scored) return;

    // The last block's phase carried on over the beats not scored yet, until further blocks
    // confirm or replace it.
    *state.downbeatSizeRaw = *state.downbeatSize;
    for (u64 k = static_cast<u64>(*state.numBeatsProcessed); k + static_cast<u64>(phase.index) < beatSize;
         k += kBlock)
        appendDownbeat(state.downbeats, state.downbeatSizeRaw, beats[k + static_cast<u64>(phase.index)]);
    if (phase.confidence > kMinConfidence) *state.rDBScore = phase.confidence;
}
