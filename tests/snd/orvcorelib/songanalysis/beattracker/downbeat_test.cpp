// The downbeat stage: blocks of four committed beats scored against the peaks of the next
// four bars with the bar's beat pattern, one downbeat per block and a provisional
// continuation, restarts on a new leader with the tapped phase as a prior.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_downbeat.h"

#include <array>
#include <vector>

namespace {

constexpr float kPattern[4] = {10.0f, 5.0f, 7.0f, 5.0f};

struct Stage {
    s32 numPeaksProcessed = 7;
    s32 numBeatsProcessed = 0;
    std::vector<u32> downbeats = std::vector<u32>(BEATTRACKER_MAX_DOWNBEATS, 0);
    u32 downbeatSize = 0;
    u32 downbeatSizeRaw = 0;
    std::array<float, 4> rDB4{};
    float rDBScore = 0.0f;
    std::vector<s_Peak> peaks = std::vector<s_Peak>(BEATTRACKER_NUM_PEAKS);
    s32 peakCount = 0;
    std::vector<u32> beats;

    DownbeatState state() {
        return DownbeatState{&numPeaksProcessed, &numBeatsProcessed, downbeats.data(), &downbeatSize,
                             &downbeatSizeRaw,   rDB4.data(),        &rDBScore};
    }
    void addPeak(u32 location, float value) {
        peaks[static_cast<u32>(peakCount) & (BEATTRACKER_NUM_PEAKS - 1)] = s_Peak{location, value};
        ++peakCount;
    }
    // `count` more beats every 20 frames from frame 100, each with a peak: `accent` on beats
    // of the given phase, 1 elsewhere; `offset` moves the peaks off the beats.
    void steadyBeats(u32 count, s32 phase, float accent, s32 offset = 0) {
        const u32 first = static_cast<u32>(beats.size());
        for (u32 k = first; k < first + count; ++k) {
            beats.push_back(100 + 20 * k);
            const float value = static_cast<s32>(k % 4) == phase ? accent : 1.0f;
            addPeak(static_cast<u32>(static_cast<s32>(beats.back()) + offset), value);
        }
    }
    void run(bool restart, s32 tappedOffset = -1, s32 tapWeight = 2) {
        findDownbeat4(peaks.data(), peakCount, beats.data(), static_cast<u32>(beats.size()), state(),
                      kPattern, tappedOffset, tapWeight, restart);
    }
};

TEST(Downbeats, SixteenBeatsOrFewerWriteNothing) {
    Stage s;
    s.steadyBeats(16, 0, 3.0f);
    s.run(false);
    EXPECT_EQ(s.downbeatSize + s.downbeatSizeRaw, 0u);
    EXPECT_EQ(s.numBeatsProcessed, 0);
    EXPECT_EQ(s.rDB4[0], 0.0f);
}

// Blocks are scored while 16 beats follow them; the accented phase wins, and the remaining
// beats continue it provisionally.
TEST(Downbeats, AccentedPhaseGivesTheDownbeats) {
    Stage s;
    s.steadyBeats(40, 2, 3.0f);
    s.run(false);
    EXPECT_EQ(s.numBeatsProcessed, 24);
    ASSERT_EQ(s.downbeatSize, 6u);
    for (u32 i = 0; i < 6; ++i) EXPECT_EQ(s.downbeats[i], s.beats[4 * i + 2]) << i;
    ASSERT_EQ(s.downbeatSizeRaw, 10u);
    for (u32 i = 6; i < 10; ++i) EXPECT_EQ(s.downbeats[i], s.beats[4 * i + 2]) << i;
    // Per block each phase gains the pattern times the peaks of three bars: phase 2 has the
    // accent (3) under the weight 10, the others under 7, 5 or 5.
    const float others = 3 * (10 + 5 + 7 + 5);
    const float expected[4] = {6 * (others + 3 * 7 * 2), 6 * (others + 3 * 5 * 2), 6 * (others + 3 * 10 * 2),
                               6 * (others + 3 * 5 * 2)};
    for (int p = 0; p < 4; ++p) EXPECT_FLOAT_EQ(s.rDB4[p], expected[p]) << p;
    const float sum = expected[0] + expected[1] + expected[2] + expected[3];
    EXPECT_FLOAT_EQ(s.rDBScore, 5 * expected[2] / sum - 1);

    // Four more beats give one more block; the provisional tail is rewritten after it.
    s.steadyBeats(4, 2, 3.0f);
    s.run(false);
    EXPECT_EQ(s.downbeatSize, 7u);
    EXPECT_EQ(s.downbeatSizeRaw, 11u);
    EXPECT_EQ(s.downbeats[10], s.beats[42]);
}

TEST(Downbeats, PeaksWithinAFrameOfTheBeatCount) {
    struct Case {
        s32 offset;
        bool found;
    };
    for (const Case &c : {Case{-1, true}, Case{1, true}, Case{2, false}, Case{-2, false}}) {
        Stage s;
        s.steadyBeats(17, 1, 3.0f, c.offset);
        s.run(false);
        ASSERT_EQ(s.downbeatSize, 1u);
        EXPECT_EQ(s.downbeats[0], c.found ? s.beats[1] : s.beats[0]) << c.offset;
        EXPECT_EQ(s.rDB4[0] != 0.0f, c.found) << c.offset;
    }
}

// Equal scores keep the lowest phase; without any peak, phase 0 and a confidence of 0.
TEST(Downbeats, TiesAndEmptyBlocksFavourTheFirstPhase) {
    Stage equal;
    equal.steadyBeats(17, 0, 1.0f);
    equal.run(false);
    ASSERT_EQ(equal.downbeatSize, 1u);
    EXPECT_EQ(equal.downbeats[0], equal.beats[0]);
    EXPECT_FLOAT_EQ(equal.rDBScore, 0.25f);

    Stage none;
    for (u32 k = 0; k < 20; ++k) none.beats.push_back(100 + 20 * k);
    none.rDBScore = 0.5f;
    none.run(false);
    ASSERT_EQ(none.downbeatSize, 1u);
    EXPECT_EQ(none.downbeats[0], none.beats[0]);
    EXPECT_EQ(none.rDBScore, 0.5f); // a confidence of 0.1 or less leaves it
}

// A new leader restarts the scores and the downbeats; a tapped phase starts ahead.
TEST(Downbeats, RestartTakesTheTappedPhaseAsAPrior) {
    struct Case {
        s32 tappedOffset;
        s32 tapWeight;
        u32 downbeatBeat; // index of the first block's downbeat
    };
    const Case cases[] = {{-1, 2, 2}, {1, 2, 1}, {3, 20, 3}, {4, 2, 2}};
    for (const Case &c : cases) {
        Stage s;
        s.steadyBeats(17, 2, 3.0f);
        s.downbeatSize = 9;
        s.downbeatSizeRaw = 12;
        s.numBeatsProcessed = 40;
        s.rDB4 = {1e6f, 0.0f, 0.0f, 0.0f};
        s.run(true, c.tappedOffset, c.tapWeight);
        EXPECT_EQ(s.numPeaksProcessed, 0);
        EXPECT_EQ(s.numBeatsProcessed, 4);
        ASSERT_EQ(s.downbeatSize, 1u) << c.tappedOffset;
        EXPECT_EQ(s.downbeats[0], s.beats[c.downbeatBeat]) << c.tappedOffset;
        if (c.tappedOffset == 1) {
            // Phase 3 reads the accent under the weight 5, from -4000 x 2.
            EXPECT_FLOAT_EQ(s.rDB4[3], -8000.0f + 3 * (10 + 5 + 7 + 5) + 3 * 5 * 2);
        }
    }
}

TEST(Downbeats, BeatAtFrameZeroMatchesNoPeak) {
    Stage s;
    for (u32 k = 0; k < 17; ++k) s.beats.push_back(20 * k);
    s.addPeak(0, 100.0f);
    s.addPeak(1, 100.0f);
    s.run(false);
    EXPECT_EQ(s.rDB4[0] + s.rDB4[1] + s.rDB4[2] + s.rDB4[3], 0.0f);
}

// With more peaks found than the ring holds, the search starts at the oldest held peak, not at
// a slot that a newer peak took.
TEST(Downbeats, OnlyThePeaksTheRingHoldsAreSearched) {
    Stage s;
    for (u32 i = 0; i < 3000; ++i) s.addPeak(10 * i, i % 4 == 1 ? 3.0f : 1.0f);
    for (u32 i = 1000; i < 1017; ++i) s.beats.push_back(10 * i);
    s.run(false);
    ASSERT_EQ(s.downbeatSize, 1u);
    EXPECT_EQ(s.downbeats[0], s.beats[1]); // beat 1 is peak 1001, accented
    EXPECT_GT(s.rDB4[1], s.rDB4[0]);
}

TEST(Downbeats, ListNeverOutgrowsItsCapacity) {
    Stage s;
    s.steadyBeats(400, 0, 3.0f);
    s.downbeatSize = BEATTRACKER_MAX_DOWNBEATS - 2;
    s.run(false);
    EXPECT_EQ(s.downbeatSize, BEATTRACKER_MAX_DOWNBEATS);
    EXPECT_EQ(s.downbeatSizeRaw, BEATTRACKER_MAX_DOWNBEATS);
    EXPECT_EQ(s.numBeatsProcessed, 384);
}

} // namespace
