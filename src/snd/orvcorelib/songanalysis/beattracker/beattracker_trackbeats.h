// The beat-agent stage of the per-frame process: seeds the pool of beat agents from the
// tempo candidates, offers the new onset peaks to them, replaces the weakest with fresh
// candidates, merges agents that have come to agree, and chooses the leading agent with a
// confidence for its beats. Nothing here allocates.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// Needs the 16-slot pool with its list ends, the 2048-slot peak ring holding iPeakOffset
// peaks in all (peak i in slot i mod 2048; only the newest 2048 are read) and the four tempo
// candidates in frames (0 for none). Candidates and agents count only with intervals strictly
// between lowerBI and upperBI. With fewer than 8 peaks nothing changes. Otherwise the agents
// take the new peaks and *piWinningAgentIndex names the leading agent's slot (never negative:
// without a leader above the minimum score it keeps its value) and *prTBConfLevel the
// confidence of its beats (1e-6 to 0.667). New agents start with the process-wide
// biConfidence as their score. *piAgentCount is not changed.
void trackBeats(u32 lowerBI, u32 upperBI, s_Agent *pAgents, const s_Peak *pPeaks,
                const float *rICBeatInterval, s32 iPeakOffset, s32 *piFirstAgent, s32 *piLastAgent,
                s32 *piAgentCount, s32 *piWinningAgentIndex, float *prTBConfLevel);
