#include "songanalysis/beattracker/beattracker_trackbeats.h"

#include "songanalysis/beattracker/beattracker_agents.h"
#include "songanalysis/beattracker/beattracker_config.h"
#include "songanalysis/beattracker/beattracker_statics.h"

#include <cmath>

namespace {

constexpr s32 kPoolSize = static_cast<s32>(BEATTRACKER_NUM_AGENTS);
constexpr s32 kPeakRing = static_cast<s32>(BEATTRACKER_NUM_PEAKS);
constexpr s32 kSeedPeaks = 8;            // peaks needed before tracking, and the peaks that seed agents
constexpr float kSameCandidate = 1.5f;   // an agent this close to a candidate already follows it
constexpr float kMergeInterval = 0.5f;   // agents this close in interval ...
constexpr float kMergePrediction = 4.0f; // ... and in phase follow the same beats
constexpr float kMinLeaderScore = 1.0f;
constexpr float kTakeOver = 1.3f; // a challenger must beat the leader by this factor
constexpr float kSureEnough = 0.7f;

struct Pool {
    s_Agent *agents;
    s32 *first;
    s32 *last;
};

bool inPool(s32 slot) {
    return slot >= 0 && slot < kPoolSize;
}

// Walks the live agents in list order; the next agent is read after `visit`, so agents it
// appends are visited too. Bounded, so that no list can hold the walk.
template <typename Visit>
void forEachAgent(const Pool &pool, Visit visit) {
    s32 steps = 0;
    for (s32 a = *pool.first; inPool(a) && steps < kPoolSize; ++steps) {
        visit(a);
        a = pool.agents[a].sListEntry.iNext;
    }
}

// The ring keeps the newest 2048 peaks; older indices name slots that newer peaks took.
s32 oldestHeldPeak(s32 iPeakOffset) {
    return iPeakOffset > kPeakRing ? iPeakOffset - kPeakRing : 0;
}

const s_Peak &peakAt(const s_Peak *pPeaks, s32 index) {
    return pPeaks[static_cast<u32>(index) & static_cast<u32>(kPeakRing - 1)];
}

bool admissible(float interval, float lower, float upper) {
    return interval > lower && interval < upper;
}

// An agent ignores every peak that comes more than ten of its intervals after its last beat,
// and so every later peak too: it would sit frozen with its score for the rest of the song.
// That is meant for a long silence, after which all agents start over anyway. But the start
// over is counted in frames and comes only after 400 of them, which at the device's frame
// rate is longer than ten intervals at nearly every tempo: a sparse stretch of peaks (a few
// bars with one peak each) then froze the agent at the song's interval while an agent at 3/2
// or twice that interval bridged the same gap and took the lead. A gap shorter than the start
// over is bridged as the agent bridges shorter ones, with its predictions as beats.
void offer(const Pool &pool, s32 slot, const s_Peak &peak, float factor) {
    bridgeAgentGap(&pool.agents[slot], static_cast<s32>(peak.iLocation),
                   static_cast<float>(btk::kSilenceFrames));
    updateAgentWithPeak(pool.agents, pool.first, pool.last, slot, static_cast<s32>(peak.iLocation),
                        peak.rValue, factor);
}

// A fresh agent with one beat at the peak, in the first free slot at the list's end; none
// when every slot is live.
void addAgent(const Pool &pool, const s_Peak &peak, float interval) {
    for (s32 i = 0; i < kPoolSize; ++i) {
        s_Agent &agent = pool.agents[i];
        if (agent.sListEntry.iListed != 0) continue;
        const s32 last = *pool.last;
        agent.sListEntry = s_ListEntry{1, inPool(last) ? last : -1, -1};
        if (inPool(last)) {
            pool.agents[last].sListEntry.iNext = i;
        } else {
            *pool.first = i;
        }
        *pool.last = i;
        const float location = static_cast<float>(peak.iLocation);
        agent.iNumberOfBeats = 1;
        agent.piBeatHistory[0] = peak.iLocation;
        agent.rBeatInterval = interval;
        agent.rLastPeak = location;
        agent.rPrediction = location + interval;
        agent.rScore = btk::biConfidence;
        agent.isTapped = 0;
        return;
    }
}

// An empty pool: agents for every admissible candidate at each of the first peaks, then the
// whole peak history offered to them.
void seed(const Pool &pool, const s_Peak *pPeaks, s32 iPeakOffset, const float *candidates, float lower,
          float upper) {
    const s32 oldest = oldestHeldPeak(iPeakOffset);
    for (s32 p = oldest; p < oldest + kSeedPeaks && p < iPeakOffset; ++p) {
        for (s32 i = 0; i < 4; ++i)
            if (admissible(candidates[i], lower, upper)) addAgent(pool, peakAt(pPeaks, p), candidates[i]);
    }
    for (s32 p = oldest; p < iPeakOffset; ++p)
        forEachAgent(pool, [&](s32 a) { offer(pool, a, peakAt(pPeaks, p), 1.0f); });
}

bool someAgentFollows(const Pool &pool, float interval) {
    bool found = false;
    forEachAgent(pool, [&](s32 a) {
        if (std::fabs(pool.agents[a].rBeatInterval - interval) < kSameCandidate) found = true;
    });
    return found;
}

// A candidate no agent follows replaces the weakest agent, which then runs through the peak
// history from the oldest peak held.
void replaceWithCandidate(const Pool &pool, const s_Peak *pPeaks, s32 iPeakOffset, float interval) {
    const s32 oldest = oldestHeldPeak(iPeakOffset);
    const s_Peak &first = peakAt(pPeaks, oldest);
    const float location = static_cast<float>(first.iLocation);
    const s32 slot = replaceLowestScoringAgent(pool.agents, kPoolSize, pool.first, pool.last, 1, nullptr,
                                               interval, location, location + interval, btk::biConfidence);
    for (s32 p = oldest + 1; p < iPeakOffset; ++p) offer(pool, slot, peakAt(pPeaks, p), 1.0f);
}

void unlink(const Pool &pool, s32 slot) {
    const s_ListEntry entry = pool.agents[slot].sListEntry;
    if (inPool(entry.iPrevious)) {
        pool.agents[entry.iPrevious].sListEntry.iNext = entry.iNext;
    } else {
        *pool.first = entry.iNext;
    }
    if (inPool(entry.iNext)) {
        pool.agents[entry.iNext].sListEntry.iPrevious = entry.iPrevious;
    } else {
        *pool.last = entry.iPrevious;
    }
    pool.agents[slot].sListEntry = s_ListEntry{0, -1, -1};
}

// Neighbours in the list that agree in interval and phase follow the same beats: the earlier
// one goes unless it scores higher. The leader's title passes to the agent that stays.
void mergeNeighbours(const Pool &pool, s32 *piWinningAgentIndex) {
    s32 previous = -1;
    forEachAgent(pool, [&](s32 a) {
        const s_Agent &agent = pool.agents[a];
        if (previous >= 0) {
            const s_Agent &before = pool.agents[previous];
            if (std::fabs(agent.rBeatInterval - before.rBeatInterval) < kMergeInterval &&
                std::fabs(agent.rPrediction - before.rPrediction) < kMergePrediction &&
                agent.rScore >= before.rScore) {
                unlink(pool, previous);
                if (*piWinningAgentIndex == previous) *piWinningAgentIndex = a;
            }
        }
        previous = a;
    });
}

// The leader is the best-scoring agent with an admissible interval, when it clearly beats the
// current one; the confidence grows with its share of all scores.
void chooseLeader(const Pool &pool, float lower, float upper, s32 *piWinningAgentIndex,
                  float *prTBConfLevel) {
    s32 best = -1;
    float sum = 1.0f;
    forEachAgent(pool, [&](s32 a) {
        const s_Agent &agent = pool.agents[a];
        if (!admissible(agent.rBeatInterval, lower, upper)) return;
        if (agent.rScore > 0.0f) sum += agent.rScore;
        if (agent.rScore > kMinLeaderScore && (best < 0 || agent.rScore > pool.agents[best].rScore)) best = a;
    });
    if (best < 0) {
        *prTBConfLevel = 1e-6f;
        return;
    }
    const float bestScore = pool.agents[best].rScore;
    const float leaderScore = inPool(*piWinningAgentIndex) ? pool.agents[*piWinningAgentIndex].rScore : 0.0f;
    if (bestScore > kTakeOver * leaderScore) *piWinningAgentIndex = best;
    const float half = 0.5f * bestScore;
    float c = -0.1f * std::sqrt(half * half / sum);
    if (!(c >= -1.0f)) c = -1.0f; // NaN too
    if (c > -1e-6f) c = -1e-6f;
    *prTBConfLevel = -c - c * c / 2.0f - c * c * c / 6.0f;
}

} // namespace

void trackBeats(u32 lowerBI, u32 upperBI, s_Agent *pAgents, const s_Peak *pPeaks,
                const float *rICBeatInterval, s32 iPeakOffset, s32 *piFirstAgent, s32 *piLastAgent,
                s32 *piAgentCount, s32 *piWinningAgentIndex, float *prTBConfLevel) {
    (void)piAgentCount;
    if (iPeakOffset < kSeedPeaks) return;
    const Pool pool{pAgents, piFirstAgent, piLastAgent};
    const float lower = static_cast<float>(lowerBI);
    const float upper = static_cast<float>(upperBI);
    if (!inPool(*piFirstAgent)) {
        seed(pool, pPeaks, iPeakOffset, rICBeatInterval, lower, upper);
    } else {
        for (s32 i = 0; i < 2; ++i)
            if (!someAgentFollows(pool, rICBeatInterval[i]))
                replaceWithCandidate(pool, pPeaks, iPeakOffset, rICBeatInterval[i]);
        // The agents' windows narrow as the confidence grows: with little of it they take the
        // newest peak almost wherever it falls, at full score.
        const float factor = *prTBConfLevel > kSureEnough ? 1.0f : 2.0f * *prTBConfLevel;
        const s_Peak &newest = peakAt(pPeaks, iPeakOffset - 1);
        forEachAgent(pool, [&](s32 a) { offer(pool, a, newest, factor); });
    }
    mergeNeighbours(pool, piWinningAgentIndex);
    chooseLeader(pool, lower, upper, piWinningAgentIndex, prTBConfLevel);
}
