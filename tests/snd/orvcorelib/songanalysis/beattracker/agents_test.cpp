// The agent pool: copying agents into free slots or over the weakest, and offering peaks to
// an agent (missed beats, the open tolerance window, splits, interval and score updates).
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"
#include "songanalysis/beattracker/beattracker_agents.h"

#include <cmath>
#include <limits>

namespace {

constexpr s32 kPool = static_cast<s32>(BEATTRACKER_NUM_AGENTS);
constexpr u32 kHistory = BEATTRACKER_AGENT_HISTORY;

// A pool on the heap, so that the sanitizer sees any write before or after it.
class Pool : public ::testing::Test {
  protected:
    std::vector<s_Agent> agents = std::vector<s_Agent>(kPool);
    std::vector<u32> histories = std::vector<u32>(kPool * kHistory);
    s32 first = -1;
    s32 last = -1;

    void SetUp() override {
        agents.assign(kPool, s_Agent{});
        histories.assign(kPool * kHistory, 0);
        first = last = -1;
        initAgentArray(agents.data(), kPool, histories.data());
    }

    s_Agent makeAgent(u32 beats, float interval, float lastPeak, float prediction, float score) {
        s_Agent a{};
        a.iNumberOfBeats = beats;
        a.rBeatInterval = interval;
        a.rLastPeak = lastPeak;
        a.rPrediction = prediction;
        a.rScore = score;
        a.piBeatHistory = outside.data();
        return a;
    }

    // Adds an agent through the pool's own add step; returns its slot.
    s32 add(u32 beats, float interval, float lastPeak, float prediction, float score) {
        const s_Agent a = makeAgent(beats, interval, lastPeak, prediction, score);
        return cloneAndAddAgent(agents.data(), kPool, &first, &last, &a);
    }

    void fill(const std::vector<float> &scores) {
        for (float s : scores) ASSERT_GE(add(1, 20.0f, 0.0f, 20.0f, s), 0);
    }

    std::vector<s32> listOrder() const {
        std::vector<s32> order;
        for (s32 i = first; i >= 0 && order.size() <= agents.size(); i = agents[i].sListEntry.iNext)
            order.push_back(i);
        return order;
    }

    s32 offer(s32 slot, s32 peak, float strength = 1.0f, float factor = 1.0f) {
        return updateAgentWithPeak(agents.data(), &first, &last, slot, peak, strength, factor);
    }

    std::vector<u32> outside = std::vector<u32>(kHistory); // history of an agent outside the pool
};

TEST_F(Pool, InitFreesEverySlotAndLaysTheHistories) {
    agents[3].sListEntry = s_ListEntry{1, 7, 9};
    initAgentArray(agents.data(), kPool, histories.data());
    for (s32 i = 0; i < kPool; ++i) {
        EXPECT_EQ(agents[i].sListEntry.iListed, 0);
        EXPECT_EQ(agents[i].sListEntry.iPrevious, -1);
        EXPECT_EQ(agents[i].sListEntry.iNext, -1);
        EXPECT_EQ(agents[i].piBeatHistory, histories.data() + i * kHistory);
    }
}

TEST_F(Pool, CloneIntoEmptyListMakesTheWholeList) {
    const s_Agent a = makeAgent(3, 21.5f, 100.0f, 121.5f, 2.5f);
    EXPECT_EQ(cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &a, 1), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(agents[0].sListEntry.iListed, 1);
    EXPECT_EQ(agents[0].sListEntry.iPrevious, -1);
    EXPECT_EQ(agents[0].sListEntry.iNext, -1);
    EXPECT_EQ(listOrder(), (std::vector<s32>{0}));
}

TEST_F(Pool, CloneIntoFreeSlotCopiesTheWholeHistoryAndAppends) {
    fill({5.0f, 6.0f});
    agents[0].sListEntry.iListed = 0; // slot 0 freed by hand: the first free slot is reused
    first = 1;
    agents[1].sListEntry.iPrevious = -1;
    for (u32 i = 0; i < kHistory; ++i) outside[i] = 1000 + i;
    const s_Agent a = makeAgent(2, 21.5f, 100.0f, 121.5f, 2.5f);

    const s32 slot = cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &a, 0);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(listOrder(), (std::vector<s32>{1, 0}));
    EXPECT_EQ(agents[0].sListEntry.iPrevious, 1);
    EXPECT_EQ(agents[1].sListEntry.iNext, 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(agents[0].piBeatHistory, histories.data()); // the slot keeps its own block
    EXPECT_EQ(agents[0].piBeatHistory[0], 1000u);
    EXPECT_EQ(agents[0].piBeatHistory[kHistory - 1], 1000u + kHistory - 1); // beyond 2 beats too
    EXPECT_EQ(agents[0].iNumberOfBeats, 2u);
    EXPECT_EQ(agents[0].rBeatInterval, 21.5f);
    EXPECT_EQ(agents[0].rLastPeak, 100.0f);
    EXPECT_EQ(agents[0].rPrediction, 121.5f);
    EXPECT_EQ(agents[0].rScore, 2.5f);
}

TEST_F(Pool, FullPoolReplacesTheWeakestKeepingItsPlace) {
    struct Case {
        std::vector<float> scores; // by slot, added in slot order
        s32 replaced;
    };
    std::vector<Case> cases = {
        {{5, 4, 3, 2, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, 4},
        {{5, 1, 3, 1, 8, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1}, 1}, // ties: nearest the head
        {{2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f, 2e10f,
          2e10f, 2e10f},
         0}, // none below 1e10
    };
    for (const Case &c : cases) {
        SetUp();
        fill(c.scores);
        agents[c.replaced].isTapped = 1;
        const std::vector<s32> order = listOrder();
        const s_Agent a = makeAgent(4, 22.0f, 300.0f, 322.0f, 7.0f);
        EXPECT_EQ(cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &a, 1), c.replaced);
        EXPECT_EQ(listOrder(), order);
        EXPECT_EQ(agents[c.replaced].rScore, 7.0f);
        EXPECT_EQ(agents[c.replaced].iNumberOfBeats, 4u);
        EXPECT_EQ(agents[c.replaced].isTapped, 1u);
    }
}

TEST_F(Pool, NearestTheHeadMeansListOrderNotSlotOrder) {
    fill({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    agents[2].rScore = 1.0f;
    agents[12].rScore = 1.0f;
    // Relink so that slot 12 comes first: 12, 0, 1, ..., 11, 13, 14, 15.
    agents[11].sListEntry.iNext = 13;
    agents[13].sListEntry.iPrevious = 11;
    agents[12].sListEntry = s_ListEntry{1, -1, 0};
    agents[0].sListEntry.iPrevious = 12;
    first = 12;
    const s_Agent a = makeAgent(1, 20.0f, 0.0f, 20.0f, 3.0f);
    EXPECT_EQ(cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &a, 0), 12);
}

TEST_F(Pool, ReplacingWithoutHistoryWritesOnlyTheLastBeat) {
    fill(std::vector<float>(kPool, 9.0f));
    agents[5].rScore = 0.5f;
    for (u32 i = 0; i < kHistory; ++i) agents[5].piBeatHistory[i] = 7;
    for (u32 i = 0; i < kHistory; ++i) outside[i] = 1000 + i;

    struct Case {
        u32 beats;
        float lastPeak;
        u32 slot;
        u32 value;
    };
    const Case cases[] = {
        {3, 456.9f, 2, 456},
        {1025, 88.2f, 0, 88}, // beat 1024 lives in slot 0
        {0, 12.0f, 1023, 12}, // no beats: the slot before 0 is the ring's last
    };
    for (const Case &c : cases) {
        const s_Agent a = makeAgent(c.beats, 20.0f, c.lastPeak, c.lastPeak + 20.0f, 0.1f);
        ASSERT_EQ(cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &a, 0), 5);
        u32 written = 0;
        for (u32 i = 0; i < kHistory; ++i) {
            if (agents[5].piBeatHistory[i] == 7) continue;
            ++written;
            EXPECT_EQ(i, c.slot);
            EXPECT_EQ(agents[5].piBeatHistory[i], c.value);
        }
        EXPECT_EQ(written, 1u);
        agents[5].piBeatHistory[c.slot] = 7;
        agents[5].rScore = 0.05f;
    }
}

TEST_F(Pool, ReplacingWithHistoryCopiesTheBeatsUpToTheRing) {
    fill(std::vector<float>(kPool, 9.0f));
    agents[9].rScore = 0.0f;
    for (u32 i = 0; i < kHistory; ++i) outside[i] = 1000 + i;
    const s_Agent few = makeAgent(3, 20.0f, 0, 0, 0);
    for (u32 i = 0; i < kHistory; ++i) agents[9].piBeatHistory[i] = 7;
    cloneAndReplaceLowestScoringAgent(agents.data(), kPool, &first, &last, &few, 1);
    EXPECT_EQ(agents[9].piBeatHistory[2], 1002u);
    EXPECT_EQ(agents[9].piBeatHistory[3], 7u);

    const s_Agent many = makeAgent(5000, 20.0f, 0, 0, -1);
    EXPECT_EQ(replaceLowestScoringAgent(agents.data(), kPool, &first, &last, many.iNumberOfBeats,
                                        outside.data(), 20.0f, 0, 0, -1),
              9);
    EXPECT_EQ(agents[9].piBeatHistory[kHistory - 1], 1000u + kHistory - 1);
    EXPECT_EQ(agents[10].piBeatHistory[0], 0u); // the neighbour's block is untouched
}

TEST_F(Pool, ReplacingInAnEmptyListTakesSlotZero) {
    EXPECT_EQ(
        replaceLowestScoringAgent(agents.data(), kPool, &first, &last, 2, nullptr, 20.0f, 40.0f, 60.0f, 1.0f),
        0);
    EXPECT_EQ(agents[0].piBeatHistory[1], 40u);
    EXPECT_EQ(agents[0].sListEntry.iListed, 0); // links and state of the slot are kept
    EXPECT_EQ(first, -1);
}

// One agent: interval 25 (tolerance 2 frames with factor 1), last beat 100, next at 125.
class Offer : public Pool {
  protected:
    s32 slot = -1;
    void SetUp() override {
        Pool::SetUp();
        slot = add(5, 25.0f, 100.0f, 125.0f, 0.0f);
    }
    const s_Agent &agent() const { return agents[slot]; }
};

TEST_F(Offer, PeaksOutsideTheOpenWindowAreNotTaken) {
    struct Case {
        s32 peak;
        u32 beats;        // after the offer
        float prediction; // after the offer
    };
    const Case cases[] = {
        {123, 5, 125.0f},                   // exactly t before: the window is open
        {127, 5, 125.0f},                   // exactly t after
        {110, 5, 125.0f}, {188, 8, 200.0f}, // 2.5 intervals on: three missed predictions, then not taken
        {351, 5, 125.0f},                   // more than ten intervals after the last beat: unchanged
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(offer(slot, c.peak, 3.0f), 1) << c.peak;
        EXPECT_EQ(agent().iNumberOfBeats, c.beats) << c.peak;
        EXPECT_EQ(agent().rPrediction, c.prediction) << c.peak;
        EXPECT_EQ(agent().rScore, 0.0f) << c.peak;
        EXPECT_EQ(listOrder().size(), 1u) << c.peak;
    }
}

TEST_F(Offer, MissedPredictionsBecomeBeatsWithoutScore) {
    EXPECT_EQ(offer(slot, 175, 2.0f), 1); // exactly two intervals after the prediction
    EXPECT_EQ(agent().iNumberOfBeats, 8u);
    EXPECT_EQ(agent().piBeatHistory[5], 125u);
    EXPECT_EQ(agent().piBeatHistory[6], 150u);
    EXPECT_EQ(agent().piBeatHistory[7], 175u);
    EXPECT_EQ(agent().rLastPeak, 175.0f);
    EXPECT_EQ(agent().rPrediction, 200.0f);
    EXPECT_EQ(agent().rScore, 2.0f); // only the peak on the prediction scores, fully
    EXPECT_EQ(listOrder().size(), 1u);
}

TEST_F(Offer, PeakTenIntervalsOnIsStillConsidered) {
    EXPECT_EQ(offer(slot, 350), 1); // 250 after the last beat: not more than ten intervals
    EXPECT_EQ(agent().iNumberOfBeats, 15u);
    EXPECT_EQ(agent().rLastPeak, 350.0f);
}

TEST_F(Offer, TakenPeakMovesIntervalAndScoresByItsDistance) {
    struct Case {
        float prediction;
        s32 peak;
        float factor;
        bool split;
    };
    const Case cases[] = {
        {125.0f, 125, 1.0f, false},  {125.0f, 126, 1.0f, false}, {125.0f, 124, 1.0f, false},
        {125.5f, 127, 1.0f, true},   {125.5f, 124, 1.0f, true},  {125.5f, 126, 1.0f, false},
        {125.5f, 126, 2.0f, false},                              // inner tolerance trunc(1/2) = 0 counts as 1
        {125.5f, 128, 0.5f, true},   {125.5f, 127, 0.5f, false}, // inner tolerance 2
        {125.25f, 128, 0.3f, false}, {125.25f, 129, 0.3f, true}, // inner tolerance 3
    };
    for (const Case &c : cases) {
        SetUp();
        agents[slot].rPrediction = c.prediction;
        agents[slot].rScore = 1.0f;
        for (u32 i = 0; i < 5; ++i) agents[slot].piBeatHistory[i] = 25 * i;
        const float t = 0.08f * 25.0f / c.factor;
        const float error = static_cast<float>(c.peak) - c.prediction;
        float penalty = 1.0f - (std::fabs(error) / t) * (c.factor * 2.95f);
        if (penalty < 0.0f) penalty = 0.0f;

        EXPECT_EQ(offer(slot, c.peak, 4.0f, c.factor), 1);
        EXPECT_EQ(agent().iNumberOfBeats, 6u);
        EXPECT_EQ(agent().piBeatHistory[5], static_cast<u32>(c.peak));
        EXPECT_EQ(agent().rLastPeak, static_cast<float>(c.peak));
        EXPECT_EQ(agent().rBeatInterval, 25.0f + error / 3000.0f);
        EXPECT_EQ(agent().rPrediction, static_cast<float>(c.peak) + agent().rBeatInterval);
        EXPECT_EQ(agent().rScore, 1.0f + 4.0f * penalty);

        const std::vector<s32> order = listOrder();
        ASSERT_EQ(order.size(), c.split ? 2u : 1u) << c.prediction << " " << c.peak;
        if (!c.split) continue;
        // The copy keeps the prediction as its beat and the history it was copied with.
        const s_Agent &copy = agents[order[1]];
        EXPECT_EQ(copy.iNumberOfBeats, 6u);
        EXPECT_EQ(copy.piBeatHistory[4], 100u);
        EXPECT_EQ(copy.piBeatHistory[5], static_cast<u32>(c.prediction));
        EXPECT_EQ(copy.rLastPeak, c.prediction);
        EXPECT_EQ(copy.rPrediction, c.prediction + 25.0f);
        EXPECT_EQ(copy.rBeatInterval, 25.0f);
        EXPECT_EQ(copy.rScore, 1.0f);
    }
}

TEST_F(Offer, FullPoolSplitMayOverwriteTheAgentItself) {
    for (s32 i = 1; i < kPool; ++i) add(1, 30.0f, 0.0f, 30.0f, 50.0f); // all stronger
    agents[slot].rPrediction = 125.5f;
    EXPECT_EQ(offer(slot, 127, 1.0f), 1);
    // The copy landed on the agent: it took its prediction, then the peak fell 23.5 frames
    // before the new prediction and was taken without score.
    EXPECT_EQ(agent().iNumberOfBeats, 7u);
    EXPECT_EQ(agent().piBeatHistory[5], 125u);
    EXPECT_EQ(agent().piBeatHistory[6], 127u);
    EXPECT_EQ(agent().rBeatInterval, 25.0f + (127.0f - 150.5f) / 3000.0f);
    EXPECT_EQ(agent().rScore, 0.0f);
    for (s32 i = 1; i < kPool; ++i) EXPECT_EQ(agents[i].iNumberOfBeats, 1u);
}

TEST_F(Offer, HistoryIndicesWrapAroundTheRing) {
    agents[slot].iNumberOfBeats = 1023;
    EXPECT_EQ(offer(slot, 150), 1); // one missed beat into slot 1023, the peak into slot 0
    EXPECT_EQ(agent().iNumberOfBeats, 1025u);
    EXPECT_EQ(agent().piBeatHistory[1023], 125u);
    EXPECT_EQ(agent().piBeatHistory[0], 150u);
    EXPECT_EQ(agents[slot + 1].piBeatHistory[0], 0u);
}

TEST_F(Offer, RefusedOffersChangeNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        s32 slotDelta;
        u32 beats;
        float factor;
    };
    const Case cases[] = {
        {0, 0x80000000u, 1.0f},                                 // a count that reads negative
        {0, 0xFFFFFFFFu, 1.0f}, {0, 5, 0.0f},                   // a factor of 0 or less is refused
        {0, 5, -1.0f},          {0, 5, nan},  {kPool, 5, 1.0f}, // no such slot
        {-1 - kPool, 5, 1.0f},
    };
    for (const Case &c : cases) {
        SetUp();
        agents[slot].iNumberOfBeats = c.beats;
        const s_Agent before = agent();
        EXPECT_EQ(offer(slot + c.slotDelta, 125, 1.0f, c.factor), -1);
        EXPECT_EQ(agent().iNumberOfBeats, before.iNumberOfBeats);
        EXPECT_EQ(agent().rPrediction, before.rPrediction);
        EXPECT_EQ(agent().rScore, before.rScore);
        EXPECT_EQ(listOrder().size(), 1u);
    }
}

TEST_F(Offer, StalledPredictionDoesNotHang) {
    struct Case {
        float interval, lastPeak, prediction;
    };
    const Case cases[] = {
        {0.0f, 100.0f, 50.0f},   // interval 0: the prediction never moves
        {-2.0f, 300.0f, 50.0f},  // negative interval
        {1.0f, 1.0e9f, -1.0e9f}, // the interval is lost in the prediction's precision
    };
    for (const Case &c : cases) {
        SetUp();
        agents[slot].rBeatInterval = c.interval;
        agents[slot].rLastPeak = c.lastPeak;
        agents[slot].rPrediction = c.prediction;
        EXPECT_EQ(offer(slot, 100), 1);
    }
}

} // namespace
