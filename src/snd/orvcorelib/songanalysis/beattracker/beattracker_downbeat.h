// The downbeat stage of the per-frame process: which beat of each four-beat bar is the
// first. It takes the committed beats in blocks of four, weighs the onset peaks on the beats
// of the next four bars with the bar's beat pattern, accumulates one score per bar phase and
// writes one downbeat per block at the best phase so far, followed by a provisional
// continuation of that phase over the remaining beats. Nothing here allocates.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// The state of the stage, as the tracker's records hold it.
struct DownbeatState {
    s32 *numPeaksProcessed;
    s32 *numBeatsProcessed; // first beat of the next block, a multiple of 4
    u32 *downbeats;         // BEATTRACKER_MAX_DOWNBEATS slots
    u32 *downbeatSize;      // downbeats of scored blocks
    u32 *downbeatSizeRaw;   // those plus the provisional continuation
    float *rDB4;            // accumulated score of each bar phase
    float *rDBScore;        // confidence of the phase, 0..1
};

// Needs the peak ring with its total count (only the newest 2048 peaks are read), the
// committed beats (ascending frames) and the stage's state. On a restart (the leading agent
// changed) the scores start over (from the tapped phase, when tappedDownbeatOffset is 0..3,
// weighted by tapWeight) and so do the downbeats. Then every complete block with 16 beats
// after it is scored and gives one downbeat; the downbeat list never exceeds its capacity.
void findDownbeat4(const s_Peak *pPeaks, s32 iPeakOffset, const u32 *beats, u32 beatSize,
                   const DownbeatState &state, const float *beatPattern, s32 tappedDownbeatOffset,
                   s32 tapWeight, bool restart);
