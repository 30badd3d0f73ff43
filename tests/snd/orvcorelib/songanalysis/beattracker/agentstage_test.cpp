// The beat-agent stage: seeding from the tempo candidates, replacing the weakest agent with a
// candidate nobody follows, merging agents that agree, and choosing the leader.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_frame.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_trackbeats.h"

#include <cmath>
#include <vector>

namespace {

using namespace bttest;

constexpr u32 kLower = orv::kDeviceConfig ? 14 : 56;
constexpr u32 kUpper = orv::kDeviceConfig ? 43 : 172;
constexpr float kInterval = orv::kDeviceConfig ? 20.0f : 80.0f;

class AgentStage : public FreshProcess {
  protected:
    void SetUp() override {
        FreshProcess::SetUp();
        bt = makeTracker();
        beattracker_resetSong(bt.get());
        in = bt->private_;
    }

    // Peaks at `first` + k * interval with the given strengths, as peak number `from` on.
    void storePeaks(const std::vector<float> &values, float interval = kInterval, u32 first = 1000,
                    s32 from = 0) {
        for (size_t k = 0; k < values.size(); ++k) {
            const s32 index = from + static_cast<s32>(k);
            in->pPeaks[static_cast<u32>(index) & (BEATTRACKER_NUM_PEAKS - 1)] =
                s_Peak{first + static_cast<u32>(std::lround(static_cast<double>(k) * interval)), values[k]};
        }
        in->iPeakOffset = from + static_cast<s32>(values.size());
    }

    void run() {
        trackBeats(kLower, kUpper, in->pAgents, in->pPeaks, in->rICBeatInterval, in->iPeakOffset,
                   &in->iFirstAgent, &in->iLastAgent, &in->iAgentCount, &in->iWinningAgentIndex,
                   &in->rTBConfLevel);
    }

    std::vector<s32> listed() const {
        std::vector<s32> slots;
        for (s32 a = in->iFirstAgent; a >= 0 && slots.size() < 17; a = in->pAgents[a].sListEntry.iNext)
            slots.push_back(a);
        return slots;
    }

    void makeAgent(s32 slot, float interval, float prediction, float score) {
        s_Agent &a = in->pAgents[slot];
        a.sListEntry.iListed = 1;
        a.iNumberOfBeats = 1;
        a.piBeatHistory[0] = 1;
        a.rLastPeak = prediction - interval;
        a.rBeatInterval = interval;
        a.rPrediction = prediction;
        a.rScore = score;
    }

    // Links the given slots into the list in this order.
    void link(const std::vector<s32> &slots) {
        for (size_t i = 0; i < slots.size(); ++i) {
            in->pAgents[slots[i]].sListEntry.iPrevious = i > 0 ? slots[i - 1] : -1;
            in->pAgents[slots[i]].sListEntry.iNext = i + 1 < slots.size() ? slots[i + 1] : -1;
        }
        in->iFirstAgent = slots.front();
        in->iLastAgent = slots.back();
    }

    Tracker bt;
    beattracker_internal *in = nullptr;
};

TEST_F(AgentStage, FewerThanEightPeaksChangeNothing) {
    storePeaks(std::vector<float>(7, 3.0f));
    in->rICBeatInterval[0] = kInterval;
    in->rTBConfLevel = 0.25f;
    in->iWinningAgentIndex = 5;
    run();
    EXPECT_EQ(in->iFirstAgent, -1);
    EXPECT_EQ(in->iWinningAgentIndex, 5);
    EXPECT_EQ(in->rTBConfLevel, 0.25f);
}

// Agents are seeded at each of the first 8 peaks and then run through every peak: on a
// steady beat each takes the peaks after its seed on its prediction, at full strength.
TEST_F(AgentStage, SeedingStartsAnAgentPerPeakAndCandidate) {
    std::vector<float> values;
    for (int k = 0; k < 12; ++k) values.push_back(1.0f + static_cast<float>(k));
    storePeaks(values);
    in->rICBeatInterval[0] = kInterval;
    in->rICBeatInterval[2] = static_cast<float>(kLower); // on the bound: not admissible
    in->rICBeatInterval[3] = static_cast<float>(kUpper) + 1.0f;
    btk::biConfidence = 0.5f;
    run();

    const std::vector<s32> expected = {0, 1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(listed(), expected);
    float sum = 1.0f;
    for (s32 j = 0; j < 8; ++j) {
        const s_Agent &a = in->pAgents[j];
        float score = 0.5f;
        for (size_t k = static_cast<size_t>(j) + 1; k < values.size(); ++k) score += values[k];
        EXPECT_EQ(a.iNumberOfBeats, values.size() - static_cast<size_t>(j)) << j;
        EXPECT_EQ(a.piBeatHistory[0], in->pPeaks[j].iLocation) << j;
        EXPECT_FLOAT_EQ(a.rScore, score) << j;
        EXPECT_EQ(a.isTapped, 0u);
        sum += score;
    }
    // Each scores less than the one before, so none is merged away; the first leads.
    EXPECT_EQ(in->iWinningAgentIndex, 0);
    const float best = in->pAgents[0].rScore;
    const float c = -0.1f * std::sqrt(0.25f * best * best / sum);
    EXPECT_FLOAT_EQ(in->rTBConfLevel, -c - c * c / 2 - c * c * c / 6);
}

TEST_F(AgentStage, SeedingStopsWhenThePoolIsFull) {
    storePeaks(std::vector<float>(10, 2.0f));
    in->rICBeatInterval[0] = kInterval;
    in->rICBeatInterval[1] = kInterval * 1.5f;
    run();
    EXPECT_EQ(listed().size(), BEATTRACKER_NUM_AGENTS); // 8 peaks x 2 candidates
}

// With more peaks found than the ring holds, seeding starts from the oldest peak still held.
TEST_F(AgentStage, SeedingReadsOnlyThePeaksTheRingHolds) {
    storePeaks(std::vector<float>(3000, 2.0f), kInterval, 1000);
    in->rICBeatInterval[0] = kInterval;
    run();
    const s32 oldest = 3000 - static_cast<s32>(BEATTRACKER_NUM_PEAKS);
    ASSERT_EQ(listed().size(), 8u);
    const u32 newest = in->pPeaks[2999 & (BEATTRACKER_NUM_PEAKS - 1)].iLocation;
    for (s32 j = 0; j < 8; ++j) {
        // Seeded at peak oldest + j, the agent took every later peak.
        const s_Agent &agent = in->pAgents[j];
        EXPECT_EQ(agent.iNumberOfBeats, 3000u - static_cast<u32>(oldest + j)) << j;
        EXPECT_EQ(agent.piBeatHistory[(agent.iNumberOfBeats - 1) % BEATTRACKER_AGENT_HISTORY], newest) << j;
    }
}

// A candidate that no agent follows within 1.5 frames takes the weakest agent's slot and runs
// through the peaks from the oldest held; the second candidate counts even when it is 0.
TEST_F(AgentStage, UnfollowedCandidateReplacesTheWeakest) {
    storePeaks(std::vector<float>(10, 2.0f));
    makeAgent(0, kInterval + 1.4f, 5000.0f, 9.0f);
    makeAgent(1, kInterval * 1.5f, 5000.0f, 3.0f);
    makeAgent(2, kInterval * 1.7f, 5000.0f, 6.0f);
    link({0, 1, 2});
    in->rICBeatInterval[0] = kInterval; // followed by slot 0
    in->rICBeatInterval[1] = 0.0f;      // followed by nobody
    btk::biConfidence = 0.75f;
    in->rTBConfLevel = 0.6f;
    run();

    const s_Agent &fresh = in->pAgents[1];
    EXPECT_EQ(fresh.rBeatInterval, 0.0f);
    EXPECT_EQ(fresh.iNumberOfBeats, 1u);
    EXPECT_EQ(fresh.piBeatHistory[0], in->pPeaks[0].iLocation);
    EXPECT_EQ(fresh.rLastPeak, static_cast<float>(in->pPeaks[0].iLocation));
    EXPECT_EQ(fresh.rPrediction, fresh.rLastPeak);
    EXPECT_EQ(fresh.rScore, 0.75f);
    const std::vector<s32> order = {0, 1, 2};
    EXPECT_EQ(listed(), order);
    EXPECT_EQ(in->iWinningAgentIndex, 0);
}

TEST_F(AgentStage, NewestPeakNarrowsWithConfidence) {
    struct Case {
        float confidence;
        float offBy; // frames between the newest peak and the agent's prediction
        bool taken;
    };
    // Factor 2 * confidence (1 above 0.7): the window is 0.08 * interval / factor.
    const Case cases[] = {{0.8f, 0.07f * kInterval, true},
                          {0.8f, 0.09f * kInterval, false},
                          {0.25f, 0.15f * kInterval, true},
                          {0.25f, 0.17f * kInterval, false}};
    for (const Case &c : cases) {
        beattracker_resetSong(bt.get());
        storePeaks(std::vector<float>(8, 2.0f), kInterval * 2.0f, 1000);
        const float newest = static_cast<float>(in->pPeaks[7].iLocation);
        makeAgent(0, kInterval, newest - c.offBy, 5.0f);
        link({0});
        in->rICBeatInterval[0] = kInterval;
        in->rICBeatInterval[1] = kInterval;
        in->rTBConfLevel = c.confidence;
        run();
        EXPECT_EQ(in->pAgents[0].rLastPeak == newest, c.taken) << c.confidence << " " << c.offBy;
    }
}

// Neighbours in the list within 0.5 frames in interval and 4 in prediction follow the same
// beats: the earlier goes unless it scores higher, and the leader's title moves with it.
TEST_F(AgentStage, AgreeingNeighboursMerge) {
    struct Case {
        float interval2, prediction2, score2;
        bool merged;
    };
    const Case cases[] = {{kInterval + 0.4f, 9003.9f, 5.0f, true},  {kInterval + 0.4f, 9003.9f, 6.0f, true},
                          {kInterval + 0.4f, 9003.9f, 4.9f, false}, {kInterval + 0.5f, 9000.0f, 5.0f, false},
                          {kInterval, 9004.0f, 5.0f, false},        {kInterval - 0.4f, 8996.1f, 5.0f, true}};
    for (const Case &c : cases) {
        beattracker_resetSong(bt.get());
        storePeaks(std::vector<float>(8, 2.0f), kInterval, 100); // long past: taken by nobody
        makeAgent(4, kInterval, 9000.0f, 5.0f);
        makeAgent(9, c.interval2, c.prediction2, c.score2);
        link({4, 9});
        in->rICBeatInterval[0] = kInterval;
        in->rICBeatInterval[1] = kInterval;
        in->iWinningAgentIndex = 4;
        in->rTBConfLevel = 0.6f;
        run();
        const std::vector<s32> expected = c.merged ? std::vector<s32>{9} : std::vector<s32>{4, 9};
        EXPECT_EQ(listed(), expected) << c.interval2 << " " << c.prediction2 << " " << c.score2;
        if (c.merged) {
            EXPECT_EQ(in->pAgents[4].sListEntry.iListed, 0);
            EXPECT_EQ(in->iFirstAgent, 9);
            EXPECT_EQ(in->iWinningAgentIndex, 9);
        }
    }
}

TEST_F(AgentStage, LeaderChangesOnlyForAClearlyBetterAgent) {
    struct Case {
        float scores[3];
        s32 leaderBefore;
        s32 leaderAfter;
        float confidence; // 0: computed from the best
    };
    const float midI = kInterval * 1.4f, farI = static_cast<float>(kUpper) + 5.0f;
    const Case cases[] = {
        {{2.0f, 2.6f, 0.0f}, 0, 0, 0.0f},  // 2.6 is not above 1.3 x 2.0
        {{2.0f, 2.61f, 0.0f}, 0, 1, 0.0f}, // it is
        {{3.0f, 3.0f, 0.0f}, 2, 0, 0.0f},  // equal best: the earlier in the list; leader's score 0
        {{0.9f, 1.0f, 0.0f}, 2, 2, 1e-6f}, // nobody above 1.0
        {{0.5f, 0.5f, 50.0f}, 0, 0, 1e-6f} // the best has an interval outside the bounds
    };
    for (const Case &c : cases) {
        beattracker_resetSong(bt.get());
        storePeaks(std::vector<float>(8, 2.0f), kInterval, 100);
        makeAgent(0, kInterval, 9000.0f, c.scores[0]);
        makeAgent(1, midI, 9100.0f, c.scores[1]);
        makeAgent(2, farI, 9200.0f, c.scores[2]);
        link({0, 1, 2});
        in->rICBeatInterval[0] = kInterval;
        in->rICBeatInterval[1] = midI;
        in->iWinningAgentIndex = c.leaderBefore;
        in->rTBConfLevel = 0.6f;
        run();
        EXPECT_EQ(in->iWinningAgentIndex, c.leaderAfter) << c.scores[0] << " " << c.scores[1];
        if (c.confidence > 0.0f) {
            EXPECT_EQ(in->rTBConfLevel, c.confidence);
        } else {
            const float best = std::max(c.scores[0], c.scores[1]);
            const float sum = 1.0f + c.scores[0] + c.scores[1];
            const float x = -0.1f * std::sqrt(0.25f * best * best / sum);
            EXPECT_FLOAT_EQ(in->rTBConfLevel, -x - x * x / 2 - x * x * x / 6);
        }
        EXPECT_GE(in->iWinningAgentIndex, 0);
    }
}

TEST_F(AgentStage, ConfidenceIsBoundedForAnOverwhelmingScore) {
    storePeaks(std::vector<float>(8, 2.0f), kInterval, 100);
    makeAgent(0, kInterval, 9000.0f, 1e30f);
    link({0});
    in->rICBeatInterval[0] = kInterval;
    in->rICBeatInterval[1] = kInterval;
    in->rTBConfLevel = 0.6f;
    run();
    EXPECT_FLOAT_EQ(in->rTBConfLevel, 1.0f - 0.5f + 1.0f / 6.0f); // c clamped at -1
}

} // namespace
