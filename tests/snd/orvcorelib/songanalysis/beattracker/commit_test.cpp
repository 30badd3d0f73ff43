// Taking over the leading agent's beats: provisional at once, final after a streak of more
// than 7 frames, dropped on a change of leader; only later beats, and only what the leader's
// history still holds.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_frame.h"

#include <vector>

namespace {

using namespace bttest;

class Commit : public FreshProcess {
  protected:
    void SetUp() override {
        FreshProcess::SetUp();
        bt = makeTracker();
        beattracker_resetSong(bt.get());
        in = bt->private_;
    }

    // A listed leader in `slot` whose beat k lies at frame first + step * k, for `count` beats.
    s_Agent &makeLeader(s32 slot, u32 count, u32 first = 1000, u32 step = 20) {
        s_Agent &a = in->pAgents[slot];
        a.sListEntry = s_ListEntry{1, -1, -1};
        for (u32 k = 0; k < count; ++k) a.piBeatHistory[k % BEATTRACKER_AGENT_HISTORY] = first + step * k;
        a.iNumberOfBeats = count;
        a.rBeatInterval = static_cast<float>(step);
        a.rLastPeak = static_cast<float>(first + step * (count - 1));
        a.rPrediction = a.rLastPeak + a.rBeatInterval + 0.75f;
        a.rScore = 12.5f;
        in->iFirstAgent = in->iLastAgent = slot;
        in->iWinningAgentIndex = slot;
        return a;
    }

    std::vector<u32> published(u32 count) const { return std::vector<u32>(bt->beats, bt->beats + count); }

    Tracker bt;
    beattracker_internal *in = nullptr;
};

TEST_F(Commit, LeaderResultsAreTakenOver) {
    const s_Agent &leader = makeLeader(3, 5);
    beattracker_commitLeader(bt.get());
    EXPECT_EQ(in->tbWinningScore, 12.5f);
    EXPECT_EQ(in->iPredictedBeatLocation, 1100); // 1080 + 20.75, truncated
    EXPECT_EQ(in->iCurrentBeatLocation, 1100);
    EXPECT_EQ(in->rBeatInterval, 20.0f);
    EXPECT_EQ(bt->beats_, leader.piBeatHistory);
    EXPECT_EQ(bt->beatSize_, 5u);
    EXPECT_EQ(in->iPreviousWinningAgentIndex, 3);
    EXPECT_EQ(published(bt->beatSizeRaw), (std::vector<u32>{1000, 1020, 1040, 1060, 1080}));
    EXPECT_EQ(bt->beatSize, 0u);
}

// The leader's first frame drops the provisional beats; the ninth frame in a row with the
// same leader makes them final.
TEST_F(Commit, BeatsBecomeFinalAfterEightFramesMoreWithTheSameLeader) {
    bt->beats[0] = 500;
    bt->beats[1] = 900;
    bt->beatSize = 1;
    bt->beatSizeRaw = 2;
    s_Agent &leader = makeLeader(2, 3);
    for (int frame = 1; frame <= 9; ++frame) {
        beattracker_commitLeader(bt.get());
        EXPECT_EQ(in->iWinningAgentWinningStreak, frame - 1);
        EXPECT_EQ(bt->beatSize, frame < 9 ? 1u : bt->beatSizeRaw) << frame;
        leader.piBeatHistory[leader.iNumberOfBeats] = 1000 + 20 * leader.iNumberOfBeats;
        leader.iNumberOfBeats += 1;
    }
    EXPECT_EQ(published(4), (std::vector<u32>{500, 1000, 1020, 1040}));
    EXPECT_EQ(bt->beatSizeRaw, 12u);
}

TEST_F(Commit, OnlyLaterBeatsAreAppended) {
    bt->beats[0] = 1030;
    bt->beatSize = bt->beatSizeRaw = 1;
    in->iPreviousWinningAgentIndex = 1;
    makeLeader(1, 4);                       // 1000, 1020, 1040, 1060
    in->pAgents[1].piBeatHistory[3] = 1040; // a repeated beat
    beattracker_commitLeader(bt.get());
    EXPECT_EQ(published(bt->beatSizeRaw), (std::vector<u32>{1030, 1040}));
}

// Beyond 1024 beats the leader's history holds only the newest; reading it from beat 0 on
// would append the newest beats first and leave a gap before them.
TEST_F(Commit, LongLeaderContinuesWithoutAGap) {
    for (u32 k = 0; k < 1000; ++k) bt->beats[k] = 1000 + 20 * k;
    bt->beatSize = bt->beatSizeRaw = 1000;
    in->iPreviousWinningAgentIndex = 4;
    makeLeader(4, 1500);
    beattracker_commitLeader(bt.get());
    ASSERT_EQ(bt->beatSizeRaw, 1500u);
    for (u32 k = 0; k < 1500; ++k) ASSERT_EQ(bt->beats[k], 1000 + 20 * k) << k;

    // Starting empty, the first beat is the oldest the history holds.
    beattracker_resetSong(bt.get());
    bt->beatSize = bt->beatSizeRaw = 0;
    makeLeader(4, 1500);
    beattracker_commitLeader(bt.get());
    ASSERT_EQ(bt->beatSizeRaw, 1024u);
    EXPECT_EQ(bt->beats[0], 1000u + 20 * 476);
    EXPECT_EQ(bt->beats[1023], 1000u + 20 * 1499);
}

TEST_F(Commit, ListHoldsAtMost16384Beats) {
    for (u32 k = 0; k < BEATTRACKER_MAX_BEATS - 2; ++k) bt->beats[k] = k;
    bt->beatSize = bt->beatSizeRaw = BEATTRACKER_MAX_BEATS - 2;
    in->iPreviousWinningAgentIndex = 0;
    makeLeader(0, 10, 20000, 5);
    beattracker_commitLeader(bt.get());
    EXPECT_EQ(bt->beatSizeRaw, BEATTRACKER_MAX_BEATS);
    EXPECT_EQ(bt->beats[BEATTRACKER_MAX_BEATS - 1], 20005u);
}

// Before any agent exists the leader's slot is free (it may hold a former song's or agent's
// values); a leader without beats has nothing to commit; the taps own the list while tapping.
TEST_F(Commit, NothingIsCommittedWithoutAListedLeaderWithBeats) {
    struct Case {
        s32 listed;
        u32 beats;
        tapstate_enum tapState;
        bool scoreTaken;
    };
    const Case cases[] = {{0, 5, TAPSTATE_NONE, false},
                          {1, 0, TAPSTATE_NONE, true},
                          {1, 0x80000000u, TAPSTATE_NONE, true},
                          {1, 5, TAPSTATE_STARTED, true}};
    for (const Case &c : cases) {
        beattracker_resetSong(bt.get());
        bt->beatSize = bt->beatSizeRaw = 0;
        in->tbWinningScore = 0.0f;
        s_Agent &leader = makeLeader(0, 5);
        leader.sListEntry.iListed = c.listed;
        leader.iNumberOfBeats = c.beats;
        in->tapState = c.tapState;
        beattracker_commitLeader(bt.get());
        EXPECT_EQ(bt->beatSizeRaw, 0u) << c.listed << " " << c.beats;
        EXPECT_EQ(in->iPredictedBeatLocation, 0);
        EXPECT_EQ(bt->beats_, nullptr);
        EXPECT_EQ(in->tbWinningScore, c.scoreTaken ? 12.5f : 0.0f);
    }
}

} // namespace
