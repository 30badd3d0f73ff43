#include "songanalysis/beattracker/beattracker_agents.h"

#include "songanalysis/beattracker/beattracker_config.h"

#include "orvsys/orvfixed.h"

#include <cmath>
#include <cstring>

namespace {

constexpr u32 kHistory = BEATTRACKER_AGENT_HISTORY;
constexpr s32 kPoolSize = static_cast<s32>(BEATTRACKER_NUM_AGENTS);

// History slot of beat number `beat`; the count is unsigned, so a count of 0 minus one lands
// in the ring's last slot instead of before it.
u32 historySlot(u32 beat) {
    return beat % kHistory;
}

u32 frameOf(float position) {
    return static_cast<u32>(orv::truncSat32(position));
}

void copyHistory(u32 *to, const u32 *from, u32 count) {
    if (to == nullptr || from == nullptr || to == from) return;
    std::memmove(to, from, sizeof(u32) * (count < kHistory ? count : kHistory));
}

// The agent accepts its own prediction as a beat: a beat the music did not mark with a peak.
void takePredictionAsBeat(s_Agent &agent) {
    agent.piBeatHistory[historySlot(agent.iNumberOfBeats)] = frameOf(agent.rPrediction);
    agent.iNumberOfBeats += 1;
    agent.rLastPeak = agent.rPrediction;
    agent.rPrediction += agent.rBeatInterval;
}

// The live agent with the lowest score, first in list order among equals; slot 0 when none
// scores below 1e10. The walk is bounded, so a damaged list cannot loop for ever.
s32 lowestScoringSlot(const s_Agent *pAgents, s32 iSize, s32 first) {
    s32 chosen = 0;
    float lowest = 1e10f;
    s32 steps = 0;
    for (s32 i = first; i >= 0 && i < iSize && steps < iSize; i = pAgents[i].sListEntry.iNext) {
        if (pAgents[i].rScore < lowest) {
            lowest = pAgents[i].rScore;
            chosen = i;
        }
        ++steps;
    }
    return chosen;
}

} // namespace

void initAgentArray(s_Agent *pAgents, s32 iSize, u32 *piBeatHistory) {
    for (s32 i = 0; i < iSize; ++i) {
        pAgents[i].sListEntry = s_ListEntry{0, -1, -1};
        pAgents[i].piBeatHistory = piBeatHistory + static_cast<size_t>(i) * kHistory;
    }
}

s32 cloneAndAddAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                     const s_Agent *pAgentToClone) {
    for (s32 i = 0; i < iSize; ++i) {
        s_Agent &slot = pAgents[i];
        if (slot.sListEntry.iListed != 0) continue;
        const s32 last = *piLastAgent;
        slot.sListEntry = s_ListEntry{1, last, -1};
        if (last >= 0 && last < iSize) {
            pAgents[last].sListEntry.iNext = i;
        } else {
            // Into an empty list: the copy is the whole list.
            slot.sListEntry.iPrevious = -1;
            *piFirstAgent = i;
        }
        slot.iNumberOfBeats = pAgentToClone->iNumberOfBeats;
        copyHistory(slot.piBeatHistory, pAgentToClone->piBeatHistory, kHistory);
        slot.rBeatInterval = pAgentToClone->rBeatInterval;
        slot.rLastPeak = pAgentToClone->rLastPeak;
        slot.rPrediction = pAgentToClone->rPrediction;
        slot.rScore = pAgentToClone->rScore;
        *piLastAgent = i;
        return i;
    }
    return -1;
}

s32 cloneAndReplaceLowestScoringAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                                      const s_Agent *pAgentToClone, s32 cloneHistory) {
    const s32 added = cloneAndAddAgent(pAgents, iSize, piFirstAgent, piLastAgent, pAgentToClone);
    if (added >= 0) return added;
    const s_Agent clone = *pAgentToClone; // the weakest agent may be the one being copied
    return replaceLowestScoringAgent(pAgents, iSize, piFirstAgent, piLastAgent, clone.iNumberOfBeats,
                                     cloneHistory != 0 ? clone.piBeatHistory : nullptr, clone.rBeatInterval,
                                     clone.rLastPeak, clone.rPrediction, clone.rScore);
}

s32 replaceLowestScoringAgent(s_Agent *pAgents, s32 iSize, s32 *piFirstAgent, s32 *piLastAgent,
                              u32 iNumberOfBeats, const u32 *piBeatHistory, float rBeatInterval,
                              float rLastPeak, float rPrediction, float rScore) {
    const s32 chosen = lowestScoringSlot(pAgents, iSize, *piFirstAgent);
    s_Agent &slot = pAgents[chosen];
    slot.iNumberOfBeats = iNumberOfBeats;
    slot.rBeatInterval = rBeatInterval;
    if (piBeatHistory != nullptr) {
        copyHistory(slot.piBeatHistory, piBeatHistory, iNumberOfBeats);
    } else if (slot.piBeatHistory != nullptr) {
        slot.piBeatHistory[historySlot(iNumberOfBeats - 1u)] = frameOf(rLastPeak);
    }
    slot.rLastPeak = rLastPeak;
    slot.rScore = rScore;
    slot.rPrediction = rPrediction;
    return chosen;
}

s32 updateAgentWithPeak(s_Agent *pAgents, s32 *piFirstAgent, s32 *piLastAgent, s32 iAgentIndex,
                        s32 iCurrentPeakLocation, float rCurrentPeakScore, float rScoreFactor) {
    if (iAgentIndex < 0 || iAgentIndex >= kPoolSize) return -1;
    // A factor of 0 would make the window infinite and the score penalty 0/0.
    if (!(rScoreFactor > 0.0f)) return -1;
    s_Agent &agent = pAgents[iAgentIndex];
    if (static_cast<s32>(agent.iNumberOfBeats) < 0 || agent.piBeatHistory == nullptr) return -1;

    float innerTolerance = std::trunc(1.0f / rScoreFactor);
    if (innerTolerance == 0.0f) innerTolerance = 1.0f;
    const float peak = static_cast<float>(iCurrentPeakLocation);
    if (peak - agent.rLastPeak > btk::kLostBeats * agent.rBeatInterval) return 1;

    const float tolerance = 0.08f * agent.rBeatInterval / rScoreFactor;
    while (peak > agent.rPrediction + tolerance) {
        // A prediction that no longer advances (interval 0 or lost in float precision)
        // would never pass the peak.
        if (!(agent.rPrediction + agent.rBeatInterval > agent.rPrediction)) break;
        takePredictionAsBeat(agent);
    }
    if (!(peak > agent.rPrediction - tolerance && peak < agent.rPrediction + tolerance)) return 1;

    if (std::fabs(peak - agent.rPrediction) > innerTolerance) {
        const s32 copy =
            cloneAndReplaceLowestScoringAgent(pAgents, kPoolSize, piFirstAgent, piLastAgent, &agent, 0);
        if (copy >= 0) takePredictionAsBeat(pAgents[copy]);
    }

    const float error = peak - agent.rPrediction;
    agent.piBeatHistory[historySlot(agent.iNumberOfBeats)] = static_cast<u32>(iCurrentPeakLocation);
    agent.iNumberOfBeats += 1;
    agent.rLastPeak = peak;
    agent.rBeatInterval += error / 3000.0f;
    agent.rPrediction = peak + agent.rBeatInterval;

    float penalty = 1.0f - (std::fabs(error) / tolerance) * (rScoreFactor * 2.95f);
    if (penalty < 0.0f) penalty = 0.0f;
    agent.rScore += rCurrentPeakScore * penalty;
    return 1;
}

void bridgeAgentGap(s_Agent *pAgent, s32 iPeakLocation, float rLongestGap) {
    s_Agent &agent = *pAgent;
    if (static_cast<s32>(agent.iNumberOfBeats) < 0 || agent.piBeatHistory == nullptr) return;
    const float peak = static_cast<float>(iPeakLocation);
    if (!(peak - agent.rLastPeak <= rLongestGap)) return;
    while (peak - agent.rLastPeak > btk::kLostBeats * agent.rBeatInterval) {
        if (!(agent.rPrediction + agent.rBeatInterval > agent.rPrediction)) break;
        takePredictionAsBeat(agent);
    }
}
