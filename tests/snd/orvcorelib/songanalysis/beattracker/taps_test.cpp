// Taps in the frame process: the tapped agent follows the taps and owns the published beats;
// tapping ends after four tapped intervals without a tap, with the median interval, beats
// laid back towards the song's start and the agent joining the pool.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_frame.h"
#include "songanalysis/beattracker/beattracker_taps.h"

#include <vector>

namespace {

using namespace bttest;

class Taps : public FreshProcess {
  protected:
    void SetUp() override {
        FreshProcess::SetUp();
        bt = makeTracker();
        beattracker_resetSong(bt.get());
        in = bt->private_;
    }

    void tap(const std::vector<u32> &frames) {
        for (u32 f : frames) beattracker_tapBeat(bt.get(), f);
    }

    // Frames without taps until tapping ends; returns how many it took.
    u32 waitForTheEnd(u32 limit = 100000) {
        u32 frames = 0;
        while (in->tapState == TAPSTATE_STARTED && frames < limit) {
            beattracker_processTaps(bt.get());
            ++frames;
        }
        return frames;
    }

    std::vector<u32> beats() const { return std::vector<u32>(bt->beats, bt->beats + bt->beatSize); }
    std::vector<u32> downbeats() const {
        return std::vector<u32>(bt->downbeats, bt->downbeats + bt->downbeatSize);
    }

    Tracker bt;
    beattracker_internal *in = nullptr;
};

TEST_F(Taps, TappedAgentFollowsTheTaps) {
    tap({100, 120, 140, 160, 180});
    beattracker_processTaps(bt.get());
    const s_Agent &agent = in->tappedAgent;
    EXPECT_EQ(agent.sListEntry.iListed, 1);
    EXPECT_EQ(agent.iNumberOfBeats, 5u);
    EXPECT_EQ(agent.rBeatInterval, 20.0f);
    EXPECT_EQ(agent.rLastPeak, 180.0f);
    EXPECT_EQ(agent.rPrediction, 200.0f);
    EXPECT_EQ(in->tappedBI, 20u);
    EXPECT_EQ(in->tapDelay, 0u);
    EXPECT_EQ(beats(), (std::vector<u32>{100, 120, 140, 160, 180}));
    EXPECT_EQ(bt->beatSizeRaw, 5u);
    EXPECT_EQ(downbeats(), (std::vector<u32>{100, 180})); // every fourth tap from the first

    // Later taps continue from the last one; the interval becomes the running mean.
    tap({210});
    beattracker_processTaps(bt.get());
    EXPECT_EQ(agent.iNumberOfBeats, 6u);
    EXPECT_EQ(agent.rBeatInterval, 30.0f);
    EXPECT_EQ(in->tappedBI, 25u);
}

// Tapping ends once more than 4 tapped intervals pass without a tap. The first tap at 100
// with an interval of 20 lies five intervals in, so five beats go before it and the
// downbeats keep the first tap; one more beat follows the last tap, and the tapped agent
// joins the pool.
TEST_F(Taps, EndOfTappingLaysTheBeatsBackToTheStart) {
    tap({100, 120, 140, 160});
    beattracker_processTaps(bt.get());
    in->tbWinningScore = 3.0f;
    in->tapWeight = 4;
    EXPECT_EQ(waitForTheEnd(), 81u);
    EXPECT_EQ(in->tapState, TAPSTATE_STOPPED);
    EXPECT_EQ(in->tappedBI, 20u);
    EXPECT_EQ(in->tappedDownbeatOffset, 1);
    const std::vector<u32> expected = {0, 20, 40, 60, 80, 100, 120, 140, 160, 180};
    EXPECT_EQ(beats(), expected);
    EXPECT_EQ(bt->beatSizeRaw, 10u);
    EXPECT_EQ(downbeats(), (std::vector<u32>{20, 100, 180}));
    const s_Agent &agent = in->tappedAgent;
    EXPECT_EQ(agent.rPrediction, 200.0f);
    EXPECT_EQ(agent.rScore, 12.0f);

    ASSERT_EQ(in->iFirstAgent, 0);
    const s_Agent &joined = in->pAgents[0];
    EXPECT_EQ(joined.sListEntry.iListed, 1);
    EXPECT_EQ(joined.iNumberOfBeats, 10u);
    EXPECT_EQ(joined.rBeatInterval, 20.0f);
    EXPECT_EQ(std::vector<u32>(joined.piBeatHistory, joined.piBeatHistory + 10), expected);
}

TEST_F(Taps, IntervalIsTheMedianAndTheBackfillStopsAt256) {
    tap({100000, 100010, 100040, 100050, 100080}); // intervals 10, 30, 10, 30
    beattracker_processTaps(bt.get());
    waitForTheEnd();
    EXPECT_EQ(in->tappedBI, 30u);           // the upper middle
    EXPECT_EQ(in->tappedDownbeatOffset, 0); // 256 beats laid before the first tap
    EXPECT_EQ(in->tappedAgent.iNumberOfBeats, 5u + 256u + 1u);
    EXPECT_EQ(bt->beats[0], 100000u - 256u * 30u);
    EXPECT_EQ(bt->beats[256], 100000u);
}

// A single tap has no interval: tapping ends in the next frame, without a division by zero
// and without an agent of interval 0 in the pool.
TEST_F(Taps, SingleTapEndsWithItsOneBeat) {
    tap({75});
    beattracker_processTaps(bt.get());
    EXPECT_EQ(in->tappedBI, 0u);
    EXPECT_EQ(waitForTheEnd(), 1u);
    EXPECT_EQ(in->tapState, TAPSTATE_STOPPED);
    EXPECT_EQ(in->tappedBI, 0u);
    EXPECT_EQ(in->tappedDownbeatOffset, 0);
    EXPECT_EQ(beats(), (std::vector<u32>{75}));
    EXPECT_EQ(downbeats(), (std::vector<u32>{75}));
    EXPECT_EQ(in->iFirstAgent, -1);
    for (u32 i = 0; i < BEATTRACKER_NUM_AGENTS; ++i) EXPECT_EQ(in->pAgents[i].sListEntry.iListed, 0) << i;

    // Two taps on one frame have an interval of 0 too.
    beattracker_resetSong(bt.get());
    tap({75, 75});
    beattracker_processTaps(bt.get());
    waitForTheEnd();
    EXPECT_EQ(in->iFirstAgent, -1);
    EXPECT_EQ(beats(), (std::vector<u32>{75, 75}));
}

// Taps out of order give negative intervals: conversions saturate and nothing misbehaves.
TEST_F(Taps, TapsOutOfOrderStayDefined) {
    tap({5000, 100, 4000000000u, 7});
    beattracker_processTaps(bt.get());
    waitForTheEnd();
    EXPECT_EQ(in->tapState, TAPSTATE_STOPPED);
    EXPECT_LE(bt->beatSize, BEATTRACKER_AGENT_HISTORY);
}

// Thousands of taps: the published beats are at most the 1024 the history holds, from a beat
// number that is a multiple of 4, and the downbeats never outgrow their list.
TEST_F(Taps, ManyTapsPublishAtMost1024Beats) {
    u32 frame = 1000;
    u32 count = 0;
    while (count < 20000) {
        for (u32 i = 0; i < 500; ++i, ++count, frame += 10) beattracker_tapBeat(bt.get(), frame);
        beattracker_processTaps(bt.get());
        ASSERT_LE(bt->beatSize, BEATTRACKER_AGENT_HISTORY);
        ASSERT_EQ(bt->beatSize, bt->beatSizeRaw);
    }
    EXPECT_EQ(in->tappedAgent.iNumberOfBeats, 20000u);
    EXPECT_EQ(bt->beatSize, 1024u);
    EXPECT_EQ(bt->beats[0], 1000u + 10u * (20000u - 1024u));
    EXPECT_EQ(bt->beats[1023], 1000u + 10u * 19999u);
    EXPECT_EQ(bt->downbeatSize, BEATTRACKER_MAX_DOWNBEATS);

    waitForTheEnd();
    EXPECT_EQ(in->tappedBI, 10u);
    EXPECT_LE(bt->beatSize, BEATTRACKER_AGENT_HISTORY);
    ASSERT_GT(bt->beatSize, 1000u);
    for (u32 i = 1; i < bt->beatSize; ++i) ASSERT_EQ(bt->beats[i] - bt->beats[i - 1], 10u) << i;
    // The downbeats keep the phase of the first tap: every fortieth frame from 1000.
    ASSERT_GT(bt->downbeatSize, 250u);
    for (u32 i = 0; i < bt->downbeatSize; ++i) ASSERT_EQ((bt->downbeats[i] - 1000u) % 40u, 0u) << i;
}

// At the end of tapping the intervals come from the taps the ring still holds (512 taps, 511
// intervals). Here 87 older intervals are followed by 255 of 30 and 256 of 10 frames: reading
// one pair further back (an overwritten slot) or dropping the newest would move the median.
TEST_F(Taps, MedianReadsOnlyTheTapsTheRingHolds) {
    std::vector<u32> taps = {10000};
    const auto extend = [&](u32 count, u32 step) {
        for (u32 i = 0; i < count; ++i) taps.push_back(taps.back() + step);
    };
    extend(87, 50);
    extend(255, 30);
    extend(256, 10);
    for (size_t i = 0; i < taps.size(); ++i) {
        beattracker_tapBeat(bt.get(), taps[i]);
        if (i % 100 == 99) beattracker_processTaps(bt.get());
    }
    beattracker_processTaps(bt.get());
    waitForTheEnd();
    EXPECT_EQ(in->tappedBI, 10u);
}

TEST_F(Taps, ResetForgetsTheTaps) {
    tap({100, 120, 140});
    beattracker_processTaps(bt.get());
    bt->beatSizeRaw = 3;
    beattracker_tapReset(bt.get());
    beattracker_processTaps(bt.get());
    EXPECT_EQ(in->tapState, TAPSTATE_NONE);
    EXPECT_EQ(in->tappedAgent.iNumberOfBeats, 0u);
    EXPECT_EQ(in->tappedAgent.rScore, 0.0f);
    EXPECT_EQ(in->tappedBI, 0u);
    EXPECT_EQ(in->tapDelay, 0u);
    EXPECT_EQ(in->tappedDownbeatOffset, -1);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(in->tap), 0);
    EXPECT_EQ(in->tap->iWrite, 0);
    EXPECT_EQ(bt->beatSize, 0u);

    // The next tap starts a new tapped agent.
    tap({500});
    beattracker_processTaps(bt.get());
    EXPECT_EQ(in->tappedAgent.iNumberOfBeats, 1u);
    EXPECT_EQ(beats(), (std::vector<u32>{500}));
}

TEST_F(Taps, OtherStatesLeaveEverythingAlone) {
    for (tapstate_enum state : {TAPSTATE_NONE, TAPSTATE_STOPPED}) {
        tap({100});
        in->tapState = state;
        bt->beatSize = 7;
        beattracker_processTaps(bt.get());
        EXPECT_EQ(bt->beatSize, 7u);
        EXPECT_EQ(circbuff_getNumberOfUnreadData(in->tap), 1);
        circbuff_reset(in->tap);
    }
}

} // namespace
