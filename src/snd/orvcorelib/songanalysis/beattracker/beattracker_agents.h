// The pool of beat agents: competing hypotheses of beat phase and interval, each with a
// history of the beats it accepted. The pool is a fixed array of slots; the live agents form
// a doubly linked list through their list entries in the order they were added (-1 ends it).
// Nothing here allocates.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// Needs iSize slots and iSize * BEATTRACKER_AGENT_HISTORY history slots. Frees every slot
// (links -1) and gives slot i the history block starting at i * BEATTRACKER_AGENT_HISTORY.
// The caller empties the list ends and the agent count.
void initAgentArray(s_Agent *pAgents, s32 iSize, u32 *piBeatHistory);

// Needs the list ends of the pool and an agent to copy (in the pool or outside it). Puts the
// copy into the first free slot of the first iSize, appended to the list (an empty list gets
// it as its only agent), with the count, interval, last peak, prediction, score and all
// history slots of the copied agent. Returns that slot, or -1 when every slot is live.
s32 cloneAndAddAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                     const s_Agent *pAgentToClone);

// As cloneAndAddAgent; with every slot live, the weakest agent is overwritten instead
// (history copied only when cloneHistory is not 0). Returns the slot of the copy.
s32 cloneAndReplaceLowestScoringAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                                      const s_Agent *pAgentToClone, s32 cloneHistory);

// Overwrites the live agent with the lowest score (the first in list order among equals,
// slot 0 when the list is empty) with the given values, keeping its list links and isTapped.
// With a history, its first iNumberOfBeats slots (at most the whole ring) are copied;
// without one, only the slot of the last beat receives rLastPeak. Returns the slot.
s32 replaceLowestScoringAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                              u32 iNumberOfBeats, const u32 *piBeatHistory, float rBeatInterval,
                              float rLastPeak, float rPrediction, float rScore);

// Offers the peak at frame iCurrentPeakLocation with strength rCurrentPeakScore to the agent
// in slot iAgentIndex of the 16-slot pool. rScoreFactor (> 0) narrows the tolerance window
// and sharpens the score penalty as it grows. Predictions the peak has passed count as
// beats; a peak inside the window is taken (and a peak off the prediction by more than the
// inner tolerance first splits off a copy that keeps the prediction). Returns -1, changing
// nothing, for an agent whose count reads negative, a factor of 0 or less or an index outside
// the pool; else 1.
s32 updateAgentWithPeak(s_Agent *pAgents, s32 *piFirstAgent, s32 *piLastAgent, s32 iAgentIndex,
                        s32 iCurrentPeakLocation, float rCurrentPeakScore, float rScoreFactor);

// Brings an agent whose last beat lies more than ten of its intervals before the peak at
// iPeakLocation, but no more than rLongestGap frames before it, to within ten intervals of
// the peak by taking its predictions as beats (without score), so that updateAgentWithPeak
// considers the peak. Agents whose count reads negative, and longer gaps, are left alone.
void bridgeAgentGap(s_Agent *pAgent, s32 iPeakLocation, float rLongestGap);
