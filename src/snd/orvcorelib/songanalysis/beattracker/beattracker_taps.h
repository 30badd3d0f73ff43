// The user's taps in the per-frame process. While the user taps, a tapped agent outside the
// pool follows the taps and owns the published beats and downbeats; once no tap has come for
// more than four tapped intervals, tapping ends: the interval becomes the median of the tapped
// intervals, the tapped beats are extended back towards the song's start and the tapped agent
// joins the pool in place of the weakest agent. Nothing here allocates.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// Needs a tracker in a song. Takes the new taps (or the end of tapping, or a tap reset)
// according to the tap state; does nothing in the other states. While tapping, the published
// beats are the tapped agent's beats: at most the newest 1024 (from a beat number that is a
// multiple of 4, so bar phases stay where they were), with the counts set to those copied.
void beattracker_processTaps(beattracker_struct *bt);

// The song's first frame: no taps, no tapped beats, the default tap weight.
void beattracker_resetTaps(beattracker_struct *bt);
