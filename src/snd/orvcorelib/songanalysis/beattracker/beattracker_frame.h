// Steps of the per-frame process (beattracker_process) that tests reach on their own.
#pragma once

#include "songanalysis/beattracker/beattracker.h"

// The song's first frame: clears the onset, tempo, agent, tap and downbeat state of the
// tracker (the process-wide statics other than the raw autocorrelation keep their values).
void beattracker_resetSong(beattracker_struct *bt);

// After a long silence, and at the song's start: no agents, no peaks, no tempo candidates,
// no leader. The published beats stay.
void beattracker_forgetAgents(beattracker_internal *in);

// Takes over the leading agent's results after the agent stage: its score, prediction and
// interval, the downbeats over the committed beats, and its beats appended after the
// published ones (only the newest 1024 of its history are read). The beats become final once
// the same agent has led for more than 7 such frames; a change of leader drops the
// provisional ones. Needs a listed leader with at least one beat; while the user taps only
// the score is taken.
void beattracker_commitLeader(beattracker_struct *bt);

// A song that ends before the warm-up wait is over (shorter than about 94 s on the device and
// 24 s on the desktop, as the wait lasts until the flux ring is nearly full) has had no peak
// picking and no beat agents. The whole song has been heard by then, which is all the wait
// is for, so its tracking runs now, once over all of it, as in the frame the wait would have
// ended. Does nothing for a song whose tracking ran (or ran here before), or whose audio never
// started.
void beattracker_endWarmUp(beattracker_struct *bt);
