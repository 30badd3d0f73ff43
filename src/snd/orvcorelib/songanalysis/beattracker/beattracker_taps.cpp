#include "songanalysis/beattracker/beattracker_taps.h"

#include "orvmath/orvmath.h"
#include "orvsys/orvfixed.h"
#include "songanalysis/beattracker/beattracker_agents.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr u32 kHistory = BEATTRACKER_AGENT_HISTORY;
constexpr s32 kTapRing = static_cast<s32>(BEATTRACKER_TAP_RING);
constexpr u32 kMaxBackfill = 256; // beats laid before the first tap, at most
constexpr u32 kBar = 4;
constexpr s32 kDefaultTapWeight = 2;

u32 &historyAt(s_Agent &agent, u32 beat) {
    return agent.piBeatHistory[beat % kHistory];
}

u32 beatCount(const s_Agent &agent) {
    return static_cast<s32>(agent.iNumberOfBeats) > 0 ? agent.iNumberOfBeats : 0u;
}

// The first beat number published: the ring holds the newest 1024 beats, and starting at a
// multiple of 4 keeps the published list in the bar phase of the beat numbers.
u32 firstPublishedBeat(u32 count) {
    if (count <= kHistory) return 0;
    return (count - kHistory + kBar - 1) / kBar * kBar;
}

void appendDownbeat(beattracker_struct *bt, u32 frame) {
    if (bt->downbeatSize < BEATTRACKER_MAX_DOWNBEATS) bt->downbeats[bt->downbeatSize++] = frame;
}

// The first tap of a tapping run: the tapped agent starts with one beat and no interval, and
// the downbeats start over from it.
void startTappedAgent(beattracker_struct *bt, float tap) {
    s_Agent &agent = bt->private_->tappedAgent;
    agent.sListEntry.iListed = 1;
    agent.iNumberOfBeats = 1;
    historyAt(agent, 0) = orv::truncSatU32(tap);
    agent.rBeatInterval = 0.0f;
    agent.rLastPeak = tap;
    agent.rPrediction = tap;
    bt->downbeatSize = 0;
    appendDownbeat(bt, orv::truncSatU32(tap));
}

// One further tap: a beat, the interval from the tap before, and every fourth tap a downbeat.
void followTap(beattracker_struct *bt, float previous, float tap) {
    beattracker_internal *in = bt->private_;
    s_Agent &agent = in->tappedAgent;
    agent.iNumberOfBeats += 1;
    historyAt(agent, agent.iNumberOfBeats - 1) = orv::truncSatU32(tap);
    agent.rBeatInterval = tap - previous;
    agent.rLastPeak = tap;
    agent.rPrediction = 2.0f * tap - previous;
    if ((agent.iNumberOfBeats - 1) % kBar == 0) appendDownbeat(bt, orv::truncSatU32(tap));
    const float interval =
        in->tappedBI == 0 ? tap - previous : (static_cast<float>(in->tappedBI) + tap - previous) * 0.5f;
    in->tappedBI = orv::truncSatU32(interval);
}

void takeNewTaps(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    circbuffdata_t pair[2] = {};
    if (in->tap->iRead == 0) {
        circbuff_read(in->tap, pair, 1, 1);
        startTappedAgent(bt, pair[0]);
    }
    while (circbuff_getNumberOfUnreadData(in->tap) > 0) {
        circbuff_read2(in->tap, pair);
        followTap(bt, pair[0], pair[1]);
    }
    in->tapDelay = 0;
}

// The median of the intervals between the taps the ring still holds (the upper middle for an
// even count); 0 without an interval. Reading starts one past the oldest held tap, so every
// pair lies inside the ring.
u32 medianTappedInterval(circbuff_struct *tap) {
    tap->iRead = std::max(tap->iWrite - (kTapRing - 1), 1);
    std::array<u32, BEATTRACKER_TAP_RING - 1> intervals{};
    s32 count = 0;
    circbuffdata_t pair[2] = {};
    while (circbuff_getNumberOfUnreadData(tap) > 0 && count < static_cast<s32>(intervals.size())) {
        circbuff_read2(tap, pair);
        // Taps out of order give a negative difference, which sorts as a very long interval.
        intervals[static_cast<size_t>(count++)] = static_cast<u32>(orv::truncSat32(pair[1] - pair[0]));
    }
    if (count == 0) return 0;
    orvmath_sort_uint32(intervals.data(), 0, count);
    return intervals[static_cast<size_t>(count / 2)];
}

// Lays k beats, one interval apart, before the first tap; the tapped beats move up by k beat
// numbers. The ring keeps the newest 1024 of them.
void extendTowardsStart(s_Agent &agent, u32 k, u32 interval) {
    const u32 count = beatCount(agent);
    const u32 firstTap = historyAt(agent, 0);
    const u32 total = count + k;
    const u32 lowest = total > kHistory ? total - kHistory : 0;
    std::array<u32, kHistory> moved{};
    for (u32 m = lowest; m < total; ++m)
        moved[m % kHistory] = m < k ? firstTap - (k - m) * interval : historyAt(agent, m - k);
    for (u32 m = lowest; m < total; ++m) historyAt(agent, m) = moved[m % kHistory];
    agent.iNumberOfBeats = total;
}

void rebuildTappedDownbeats(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    s_Agent &agent = in->tappedAgent;
    const u32 count = beatCount(agent);
    bt->downbeatSize = 0;
    const u32 phase = static_cast<u32>(in->tappedDownbeatOffset) % kBar;
    for (u32 b = firstPublishedBeat(count) + phase; b < count; b += kBar)
        appendDownbeat(bt, historyAt(agent, b));
}

// No tap for more than four tapped intervals: the taps become a steady beat of the median
// interval that reaches back towards the song's start, and the tapped agent joins the pool.
// A single tap (or taps at one frame) has no interval: its beat stays alone and no agent of
// interval 0 enters the pool.
void endTapping(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    s_Agent &agent = in->tappedAgent;
    in->tapState = TAPSTATE_STOPPED;
    in->tappedBI = medianTappedInterval(in->tap);
    agent.rBeatInterval = static_cast<float>(in->tappedBI);
    agent.rScore = in->tbWinningScore * static_cast<float>(in->tapWeight);
    in->tapDelay = 0;
    if (in->tappedBI == 0) {
        in->tappedDownbeatOffset = 0;
        rebuildTappedDownbeats(bt);
        return;
    }

    // Beyond 1024 tapped beats the first tap is gone and nothing laid before it would be kept.
    const u32 count = beatCount(agent);
    const u32 k = count <= kHistory ? std::min(historyAt(agent, 0) / in->tappedBI, kMaxBackfill) : 0;
    in->tappedDownbeatOffset = static_cast<s32>(k % kBar);
    extendTowardsStart(agent, k, in->tappedBI);

    agent.iNumberOfBeats += 1;
    agent.rLastPeak += static_cast<float>(in->tappedBI);
    historyAt(agent, agent.iNumberOfBeats - 1) = orv::truncSatU32(agent.rLastPeak);
    agent.rPrediction = agent.rLastPeak + static_cast<float>(in->tappedBI);

    rebuildTappedDownbeats(bt);
    cloneAndReplaceLowestScoringAgent(in->pAgents, static_cast<s32>(BEATTRACKER_NUM_AGENTS), &in->iFirstAgent,
                                      &in->iLastAgent, &agent, 1);
}

void publishTappedBeats(beattracker_struct *bt) {
    s_Agent &agent = bt->private_->tappedAgent;
    const u32 count = beatCount(agent);
    const u32 first = firstPublishedBeat(count);
    for (u32 b = first; b < count; ++b) bt->beats[b - first] = historyAt(agent, b);
    bt->beatSize = count - first;
    bt->beatSizeRaw = count - first;
}

void forgetTaps(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    in->tapDelay = 0;
    in->tappedAgent.iNumberOfBeats = 0;
    in->tappedAgent.rScore = 0.0f;
    in->tappedBI = 0;
    circbuff_reset(in->tap);
    in->tapState = TAPSTATE_NONE;
    in->tappedDownbeatOffset = -1;
    bt->beatSize = 0;
}

} // namespace

void beattracker_processTaps(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    if (in->tapState == TAPSTATE_RESET) {
        forgetTaps(bt);
        return;
    }
    if (in->tapState != TAPSTATE_STARTED) return;
    if (circbuff_getNumberOfUnreadData(in->tap) > 0) {
        takeNewTaps(bt);
    } else {
        in->tapDelay += 1;
        if (u64{in->tapDelay} > 4u * u64{in->tappedBI}) endTapping(bt);
    }
    publishTappedBeats(bt);
}

void beattracker_resetTaps(beattracker_struct *bt) {
    beattracker_internal *in = bt->private_;
    circbuff_reset(in->tap);
    in->tappedBI = 0;
    in->tapState = TAPSTATE_NONE;
    std::memset(in->tappedAgent.piBeatHistory, 0, sizeof(u32) * kHistory);
    in->tappedAgent.iNumberOfBeats = static_cast<u32>(-1);
    in->tappedAgent.rBeatInterval = 0.0f;
    in->tappedAgent.rScore = 0.0f;
    in->tappedDownbeatOffset = -1;
    in->tapWeight = kDefaultTapWeight;
}
