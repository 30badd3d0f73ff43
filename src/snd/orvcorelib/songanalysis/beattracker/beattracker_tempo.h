// Tempo estimation of the beat tracker: a running autocorrelation of the flux values, turned
// each frame into a harmonically reinforced, tempo-weighted curve over the admissible beat
// intervals, from which the best and a second beat interval are read (in frames, with a
// fractional part). A stability gate hands an estimate on to the beat agents only after it has
// stayed put for a long run of frames. The sums and the gate live in process-wide statics.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// Adds the newest flux value times each older one (lags from the first accumulated lag up to
// the values stored, at most 1023) to xcorrRaw. Nothing before the audio has started.
void _CalcXcorrRaw(const circbuff_struct *cbFlux, float *xcorrRaw);

// Needs xcorrRaw of BEATTRACKER_XCORR_SIZE sums and frameCount, the frames processed before
// this one. Builds the process-wide tempo curve and searches it. Returns 0 with the best
// interval in rBI[0] (and, when a second peak exists, the second in rBI[1] and a confidence
// growing with the song position in the process-wide biConfidence); -1 with nothing written
// when the curve has no peak strictly inside the admissible lags.
s32 _EstimateBIFromXcorr(float *rBI, u32 frameCount, const float *xcorrRaw);

// The two halves of _EstimateBIFromXcorr. buildTempoCurve turns the raw sums into the
// process-wide curve btk::xcorr: means over the frames seen (0 for lags not reached yet),
// reinforced by each lag's double and quadruple and weighted towards 120 BPM.
// pickBeatIntervals reads that curve: the highest strict local maximum strictly inside the
// admissible lags (the lower lag on ties), refined by a parabola, and the best other one.
void buildTempoCurve(u32 frameCount, const float *xcorrRaw);
s32 pickBeatIntervals(float *rBI, u32 frameCount);

// After a successful estimate: applies the user's interval (guide or overwrite mode) to the
// candidates in rICBeatInterval, counts how long each candidate has stayed within 0.1 frame,
// zeroes a candidate that has not yet held for 128 (second: 256) frames, and publishes the
// ungated first candidate as rBeatIntervalXcorr.
void beattracker_gateTempo(beattracker_struct *bt);

// The song's first frame: clears the raw autocorrelation sums. The curve, the gate's
// counters and the confidence carry over.
void beattracker_resetTempo();
