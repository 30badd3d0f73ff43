// Working values of the per-frame process that live outside any tracker object. They are
// shared by every tracker of the process, so a process runs one analysis at a time; a later
// analysis starts from what the previous one left, except where the first frame of a song
// clears them.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

namespace btk {

extern float specFluxPre;                   // the previous frame's smoothed onset strength; never reset
extern float biConfidence;                  // confidence in the tempo estimate; starting score of new agents
extern s32 biConfidenceCounter1;            // frames in a row the first estimate stayed put
extern s32 biConfidenceCounter2;            // the same for the second estimate
extern float biPre0;                        // the previous estimating frame's first estimate
extern float biPre1;                        // and its second
extern float xcorr[BEATTRACKER_XCORR_SIZE]; // this frame's weighted tempo curve, by lag
extern float xcorrRaw[BEATTRACKER_XCORR_SIZE]; // raw autocorrelation sums, by lag; per song

} // namespace btk
