// The offline finish of the beat tracker, after the song's last frame: one beat interval for
// the whole song, snapped to a whole, a tenth or a twentieth of a beat per minute; the beats
// placed again over the whole song by two correlation passes (a coarse one on the onset-peak
// train, a fine one on its result, which also fills gaps and reaches both ends of the song);
// optionally a strict grid or grids through the user's anchors; then the final beats and
// every fourth of them as downbeats. beattracker_finalize itself is declared with the tracker.
//
// The steps are exposed for tests.
#pragma once

#include "orvsys/orvint.h"

// Values of a train of candidate beats, one per frame.
inline constexpr s16 BEATTRAIN_RECORDED = 1; // a beat recorded online (without a peak train)
inline constexpr s16 BEATTRAIN_FINE = 2;     // a beat placed by the fine pass
inline constexpr s16 BEATTRAIN_GRID = 4;     // a beat of a fixed or anchored grid

// The median of n values (n > 0) by bisection, without sorting or copying; for an even n the
// lower of the two middle values.
u32 _Median(const u32 *m, u32 n);

// The mean of the spans within trustRegion of their median, refined as the mean of those
// within half of it around that first mean. NaN when the second window is empty.
float _RefineBeatInterval(const u32 *beatIntervals, u32 size, u32 trustRegion);

// The tempo in BPM of a mean four-beat span S (frames), snapped to a whole BPM within 0.045,
// else to a tenth within 0.03, else to a twentieth within 0.01; NaN stays NaN.
float _MagnetizeBeatInterval(float rBeatInterval);
// The snapping step alone, on a tempo in BPM.
float snapTempo(float bpm);

// Coarse pass: correlates windows of the peak train (size frames) with a pulse train of
// interval B (frames, at least 1) and marks, near each pulse of the best fit, the first peak
// within 6 frames with its strength (saturated to 16 bits) in beatTrain.
void _RefineBeatsCoarse(const s32 *peakTrain, s32 size, s16 *beatTrain, float B);

// Fine pass: correlates windows of beatTrain (size frames) with a narrower pulse train and
// marks the best fit's pulses with BEATTRAIN_FINE, then extends them to both ends of the song
// and across windows that found nothing (at most 64 of them).
void _RefineBeats(s16 *beatTrain, s32 size, float B);

// One strict grid over the train (BEATTRAIN_GRID), in the phase one frame after its first
// candidate, stepping by the whole part of each position plus the interval (at least 1).
// False, with nothing changed, when the train holds no candidate.
bool beattrain_layFixedGrid(s16 *beatTrain, s32 size, float interval);

// Grids through the user's anchors (frames, ascending; interval at least 1): from the first
// anchor on the train is cleared and each anchor starts a grid that runs up to the next one
// (the last one up to the song's last frame). Anchors outside the song, and any not earlier
// than the next one kept, are dropped. Returns whether any anchor counted.
bool beattrain_layAnchoredGrids(s16 *beatTrain, s32 size, float interval, const s32 *anchors, s32 nAnchors);

// Frames holding more than 1 become beats, in order, each more than `spacing` frames after
// the one before (the earlier of two closer ones wins), at most `capacity` of them; the
// capacity's slots are cleared first. Returns the number of beats.
u32 beattrain_selectBeats(const s16 *beatTrain, s32 size, s64 spacing, u32 *beats, u32 capacity);

// Every fourth beat becomes a downbeat, from the beat that the first dbsize recorded downbeats
// (those scored while tracking) mark as a bar start most often, or from the first beat when none
// lies on a final beat; the recorded downbeats are cleared first. Returns the number of downbeats.
u32 _RefineDownbeats(const u32 *beats, u32 bsize, u32 *downbeats, u32 dbsize);
