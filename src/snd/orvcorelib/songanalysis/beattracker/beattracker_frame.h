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
