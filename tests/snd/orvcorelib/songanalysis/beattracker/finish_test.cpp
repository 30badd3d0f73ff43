// The offline finish: the interval from the recorded beats and its snap to a round tempo,
// the coarse and fine passes, fixed and anchored grids, the final selection and downbeats,
// and the cases where the finish leaves the recorded beats alone.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_finalize.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace bttest;

constexpr double kK = 60.0 * orv::kAnalysisSampleRate;
constexpr double kF = orv::kAnalysisFrameSize;
constexpr float kLower = orv::kDeviceConfig ? 14.0f : 56.0f;
constexpr float kUpper = orv::kDeviceConfig ? 43.0f : 172.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(FinishSteps, TempoSnapsToAWholeATenthOrATwentieth) {
    struct Case {
        float bpm, snapped;
    };
    const Case cases[] = {{119.97f, 120.0f},   {120.044f, 120.0f},    {127.48f, 127.5f}, {99.952f, 99.95f},
                          {99.86f, 99.86f},    {120.046f, 120.05f},   {87.3f, 87.3f},    {140.0f, 140.0f},
                          {100.345f, 100.35f}, {100.3349f, 100.3349f}};
    for (const Case &c : cases) EXPECT_NEAR(snapTempo(c.bpm), c.snapped, 1e-4) << c.bpm;
    EXPECT_TRUE(std::isnan(snapTempo(kNaN)));
    EXPECT_TRUE(std::isinf(snapTempo(std::numeric_limits<float>::infinity())));
    EXPECT_TRUE(std::isnan(_MagnetizeBeatInterval(kNaN)));
}

// A mean four-beat span of 86.12 device frames measures 120.02 BPM and snaps to 120; 86.1
// frames measure 120.046 and snap to 120.05. The desktop's frames are four times as many.
TEST(FinishSteps, SpanSnapsThroughItsTempo) {
    const float scale = orv::kDeviceConfig ? 1.0f : 4.0f;
    EXPECT_NEAR(_MagnetizeBeatInterval(86.12f * scale), 120.0f, 1e-4);
    EXPECT_NEAR(_MagnetizeBeatInterval(86.1f * scale), 120.05f, 1e-4);
    EXPECT_NEAR(kK / (kF * 120.0), orv::kDeviceConfig ? 21.533 : 86.133, 1e-3);
    EXPECT_NEAR(kK / (kF * 120.05), orv::kDeviceConfig ? 21.524 : 86.097, 1e-3);
}

TEST(FinishSteps, MedianByBisection) {
    struct Case {
        std::vector<u32> values;
        u32 median;
    };
    const Case cases[] = {{{5}, 5},
                          {{3, 1, 2}, 2},
                          {{4, 1, 3, 2}, 2}, // the lower of the middle two
                          {{10, 10, 20, 20}, 10},
                          {{7, 7, 7, 1}, 7},
                          {{86, 87, 86, 86, 300, 2, 86}, 86},
                          {{0xFFFFFFFFu, 0xFFFFFFFEu, 1}, 0xFFFFFFFEu},
                          {{0, 0xFFFFFFFFu}, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(_Median(c.values.data(), static_cast<u32>(c.values.size())), c.median) << c.values.size();
}

TEST(FinishSteps, IntervalIsAMeanWithinTwoTrustRegions) {
    // Median 86: 120 and 50 lie outside 12 frames; then around 86.25 within 6.
    const std::vector<u32> spans = {86, 86, 87, 86, 120, 50};
    EXPECT_FLOAT_EQ(_RefineBeatInterval(spans.data(), 6, 12), 86.25f);
    // The second window narrows: median 90, first mean (80 + 90 + 90 + 101) / 4 = 90.25.
    const std::vector<u32> wide = {80, 90, 90, 101, 200};
    EXPECT_FLOAT_EQ(_RefineBeatInterval(wide.data(), 5, 12), 90.0f);
}

TEST(FinishSteps, DownbeatsAreEveryFourthBeat) {
    std::vector<u32> beats;
    for (u32 i = 0; i < 17; ++i) beats.push_back(100 + 10 * i);
    std::vector<u32> downbeats(BEATTRACKER_MAX_DOWNBEATS, 7);
    EXPECT_EQ(_RefineDownbeats(beats.data(), 17, downbeats.data(), 9), 5u);
    EXPECT_EQ(std::vector<u32>(downbeats.begin(), downbeats.begin() + 10),
              (std::vector<u32>{100, 140, 180, 220, 260, 0, 0, 0, 0, 7}));
}

// The final grid is laid anew from the song's start, so the bar start comes from the downbeats
// recorded while tracking: the bar position they mark most often, within a quarter of a beat.
TEST(FinishSteps, DownbeatsFollowTheRecordedBarStart) {
    std::vector<u32> beats;
    for (u32 i = 0; i < 17; ++i) beats.push_back(100 + 20 * i); // beat i at 100 + 20i
    struct Case {
        const char *what;
        std::vector<u32> recorded;
        std::vector<u32> expected;
    } cases[] = {
        {"none recorded", {}, {100, 180, 260, 340, 420}},
        {"all on beat 1", {121, 200, 279, 361}, {120, 200, 280, 360}},
        {"majority on beat 2", {140, 220, 300, 160}, {140, 220, 300, 380}},
        {"a tie takes the earlier position", {120, 140}, {120, 200, 280, 360}},
        {"too far from any beat", {111, 189, 290}, {100, 180, 260, 340, 420}},
        {"before and after the grid", {0, 5000}, {100, 180, 260, 340, 420}},
    };
    for (const Case &c : cases) {
        std::vector<u32> downbeats(BEATTRACKER_MAX_DOWNBEATS, 0);
        std::copy(c.recorded.begin(), c.recorded.end(), downbeats.begin());
        const u32 n =
            _RefineDownbeats(beats.data(), 17, downbeats.data(), static_cast<u32>(c.recorded.size()));
        EXPECT_EQ(std::vector<u32>(downbeats.begin(), downbeats.begin() + n), c.expected) << c.what;
        EXPECT_EQ(downbeats[n], 0u) << c.what;
    }
}

// First marked frame 30, interval 21.533: the grid starts one frame after it and steps back
// to 9 (31 - 21.533, truncated), then runs 9, 30, 51, 72, ... in whole-frame steps.
TEST(FinishSteps, FixedGridFromTheFirstCandidate) {
    std::vector<s16> train(200, 0);
    train[30] = 2;
    train[77] = 900;
    ASSERT_TRUE(beattrain_layFixedGrid(train.data(), 200, 21.533f));
    std::vector<u32> grid;
    for (u32 i = 0; i < train.size(); ++i) {
        if (train[i] != 0) {
            EXPECT_EQ(train[i], BEATTRAIN_GRID);
            grid.push_back(i);
        }
    }
    EXPECT_EQ(grid, (std::vector<u32>{9, 30, 51, 72, 93, 114, 135, 156, 177, 198}));

    std::vector<s16> empty(200, 0);
    EXPECT_FALSE(beattrain_layFixedGrid(empty.data(), 200, 21.533f));
    EXPECT_EQ(empty, std::vector<s16>(200, 0));
}

// Anchors at 100 and 500 with an interval of 20: grid beats 100, 120, ..., 480 and from 500
// to the second-last frame; frames before the first anchor keep what they held. Anchors from
// outside the song, or not before the next one, are dropped.
TEST(FinishSteps, AnchorsStartGridsUpToTheNextAnchor) {
    struct Case {
        std::vector<s32> anchors;
        s32 first, second; // the anchors that count, -1 for none
    };
    const Case cases[] = {{{100, 500}, 100, 500},
                          {{-5, 100, 500, 600, 900}, 100, 500},
                          {{100, 500, 300}, 100, 300},
                          {{500, 100}, 100, -1},
                          {{-1, 600}, -1, -1}};
    for (const Case &c : cases) {
        std::vector<s16> train(600, 0);
        train[10] = 3;
        train[12] = 2;
        train[150] = 9;
        const bool any = beattrain_layAnchoredGrids(train.data(), 600, 20.0f, c.anchors.data(),
                                                    static_cast<s32>(c.anchors.size()));
        ASSERT_EQ(any, c.first >= 0) << c.anchors.size();
        std::vector<s16> expected(600, 0);
        expected[10] = 3;
        expected[12] = 2;
        expected[150] = 9;
        if (c.first >= 0) {
            std::fill(expected.begin() + c.first, expected.end(), s16{0});
            const s32 end = c.second >= 0 ? c.second : 599;
            for (s32 p = c.first; p < end; p += 20) expected[static_cast<size_t>(p)] = BEATTRAIN_GRID;
            if (c.second >= 0)
                for (s32 p = c.second; p < 599; p += 20) expected[static_cast<size_t>(p)] = BEATTRAIN_GRID;
        }
        EXPECT_EQ(train, expected) << c.anchors.size();
    }
}

// An interval that could not step forward lays no grid at all.
TEST(FinishSteps, GridsNeedAnIntervalOfAFrameOrMore) {
    const s32 anchors[1] = {5};
    for (float interval : {0.0f, 0.5f, -21.5f, kNaN}) {
        std::vector<s16> train(100, 0);
        train[10] = 2;
        EXPECT_FALSE(beattrain_layFixedGrid(train.data(), 100, interval)) << interval;
        EXPECT_FALSE(beattrain_layAnchoredGrids(train.data(), 100, interval, anchors, 1)) << interval;
        EXPECT_EQ(train[10], 2);
    }
}

TEST(FinishSteps, SelectionKeepsTheEarlierOfCloseCandidates) {
    std::vector<s16> train(100, 0);
    train[20] = 2;
    train[23] = 500; // 3 frames on: within the spacing of 10
    train[31] = 4;
    train[40] = 1; // 1 is no beat
    std::vector<u32> beats(8, 99);
    EXPECT_EQ(beattrain_selectBeats(train.data(), 100, 10, beats.data(), 8), 2u);
    EXPECT_EQ(beats, (std::vector<u32>{20, 31, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(beattrain_selectBeats(train.data(), 100, 0, beats.data(), 8), 3u);

    std::vector<s16> dense(3 * BEATTRACKER_MAX_BEATS, 2);
    std::vector<u32> many(BEATTRACKER_MAX_BEATS);
    EXPECT_EQ(beattrain_selectBeats(dense.data(), static_cast<s32>(dense.size()), 0, many.data(),
                                    BEATTRACKER_MAX_BEATS),
              BEATTRACKER_MAX_BEATS);
    EXPECT_EQ(many.back(), BEATTRACKER_MAX_BEATS - 1);
}

// Peaks near a steady grid: each becomes a candidate with its strength, saturated to 16 bits.
TEST(FinishSteps, CoarsePassMarksThePeaksNearTheGrid) {
    const float interval = orv::kDeviceConfig ? 20.0f : 80.0f;
    const s32 size = 6000;
    std::vector<s32> peakTrain(size, 0);
    std::vector<u32> peaks;
    const s32 jitter[5] = {0, 2, -1, 1, -2};
    for (s32 k = 0;; ++k) {
        const s32 at = 50 + static_cast<s32>(std::lround(k * interval)) + jitter[k % 5];
        if (at >= size - 20) break;
        peakTrain[at] = k % 7 == 3 ? 100000 : 500 + k;
        peaks.push_back(static_cast<u32>(at));
    }
    std::vector<s16> train(size, 0);
    _RefineBeatsCoarse(peakTrain.data(), size, train.data(), interval);
    u32 marked = 0;
    for (s32 i = 0; i < size; ++i) {
        if (train[i] == 0) continue;
        ++marked;
        EXPECT_EQ(train[i], peakTrain[i] > 32767 ? 32767 : peakTrain[i]) << i;
    }
    EXPECT_GT(marked, peaks.size() * 9 / 10);
}

// Strengths near the top of the 32-bit range overflow the correlation sums, which wrap in
// unsigned arithmetic instead of misbehaving.
TEST(FinishSteps, CorrelationSumsWrapWithoutHarm) {
    const s32 size = 3000;
    std::vector<s32> peakTrain(size, 0);
    for (s32 at = 40; at < size; at += 25) peakTrain[at] = 2000000000;
    std::vector<s16> train(size, 0);
    _RefineBeatsCoarse(peakTrain.data(), size, train.data(), 25.0f);
    _RefineBeats(train.data(), size, 25.0f);
    for (s16 v : train) EXPECT_TRUE(v == 0 || v == BEATTRAIN_FINE || v == 32767) << v;
}

// Returns the frames above 1 of a train.
std::vector<s32> candidates(const std::vector<s16> &train) {
    std::vector<s32> out;
    for (size_t i = 0; i < train.size(); ++i)
        if (train[i] > 1) out.push_back(static_cast<s32>(i));
    return out;
}

// Candidates on a grid with a stretch of silence: the fine pass marks the grid, fills the
// windows without candidates, and extends it to both ends of the song.
TEST(FinishSteps, FinePassFillsGapsAndReachesBothEnds) {
    const float interval = orv::kDeviceConfig ? 20.0f : 80.0f;
    const s32 size = 12000;
    std::vector<s16> train(size, 0);
    for (s32 k = 0;; ++k) {
        const s32 at = 500 + static_cast<s32>(k * interval);
        if (at >= 11000) break;
        if (at < 3000 || at >= 7000) train[at] = 300;
    }
    _RefineBeats(train.data(), size, interval);
    std::vector<u32> beats(BEATTRACKER_MAX_BEATS);
    const u32 n = beattrain_selectBeats(train.data(), size, static_cast<s64>(interval / 2), beats.data(),
                                        BEATTRACKER_MAX_BEATS);
    ASSERT_GT(n, 10u);
    EXPECT_LE(beats[0], static_cast<u32>(interval));
    EXPECT_GE(beats[n - 1] + static_cast<u32>(interval) + 1, static_cast<u32>(size));
    for (u32 i = 1; i < n; ++i) {
        const float step = static_cast<float>(beats[i] - beats[i - 1]);
        EXPECT_NEAR(step, interval, 2.0f) << beats[i];
    }
}

// The passes place no beat in the song's first frames, so a grid that starts on frame 0 has
// its first placed beat about one interval in; the beat one interval before it is laid when
// its nearest frame is frame 0 or later, even when the first placed beat lies a fraction of
// a frame short of the interval.
TEST(FinishSteps, FinePassLaysTheBeatOneIntervalBeforeTheFirst) {
    struct Case {
        const char *name;
        float interval;
        float phase; // where the grid of candidates would have its beat 0
        bool beatAtZero;
    };
    const Case cases[] = {
        {"first placed beat beyond the interval", 21.533f, 0.0f, true},
        {"first placed beat short of the interval by less than half a frame", 21.4f, 0.0f, true},
        {"first placed beat short of the interval by more than half a frame", 21.7f, -0.8f, false},
    };
    const s32 size = 3000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<s16> train(size, 0);
        for (s32 k = 1;; ++k) {
            const s32 at = static_cast<s32>(c.phase + static_cast<float>(k) * c.interval + 0.5f);
            if (at >= size) break;
            train[static_cast<size_t>(at)] = 300;
        }
        _RefineBeats(train.data(), size, c.interval);
        const std::vector<s32> marks = candidates(train);
        ASSERT_GE(marks.size(), 2u);
        EXPECT_EQ(marks[0] == 0, c.beatAtZero) << marks[0] << " " << marks[1];
        EXPECT_NEAR(static_cast<float>(marks[1] - marks[0]), c.interval, 1.0f);
    }
}

// The gap list holds 64 windows: 70 clusters of candidates with long silences between them
// give more gaps than that (one or two per silence); the silences of the first 64 gaps are
// filled, the later ones stay empty instead of overrunning the list.
TEST(FinishSteps, FinePassFillsAtMost64Gaps) {
    const float interval = 20.0f;
    const s32 spacing = 4000;
    const s32 size = 70 * spacing;
    std::vector<s16> train(size, 0);
    for (s32 c = 0; c < 70; ++c)
        for (s32 at = c * spacing + 10; at < c * spacing + 200; at += 20) train[at] = 300;
    _RefineBeats(train.data(), size, interval);
    const std::vector<s32> marks = candidates(train);
    std::vector<s32> silences; // where the stretches longer than two windows begin
    for (size_t i = 1; i < marks.size(); ++i)
        if (marks[i] - marks[i - 1] > 2000) silences.push_back(marks[i - 1]);
    ASSERT_FALSE(silences.empty());
    EXPECT_GT(silences.front(), 32 * spacing);
}

class Finish : public FreshProcess {
  protected:
    void SetUp() override {
        FreshProcess::SetUp();
        bt = makeTracker();
    }

    // A song of `frames` processed frames, opened with or without a peak train, with
    // recorded beats every `interval` frames from `first`.
    void song(u32 frames, bool peakTrain, u32 beats, float interval, u32 first = 10) {
        beattracker_open(bt.get(), 0, 0, 0, peakTrain ? static_cast<s32>(frames + 1) : 0);
        bt->iFrameCount = frames;
        for (u32 k = 0; k < beats; ++k) bt->beats[k] = first + static_cast<u32>(std::lround(k * interval));
        bt->beatSize = bt->beatSizeRaw = beats;
        bt->downbeatSize = bt->downbeatSizeRaw = 0;
    }

    std::vector<u32> beats() const { return std::vector<u32>(bt->beats, bt->beats + bt->beatSize); }

    void TearDown() override {
        beattracker_close(bt.get());
        FreshProcess::TearDown();
    }

    Tracker bt;
};

TEST_F(Finish, UserIntervalOverwritesOnlyStrictlyInsideTheBoundsAndInOverwriteMode) {
    struct Case {
        beattracker_userinputmode_t mode;
        float initial;
        bool taken;
    };
    const float mid = orv::kDeviceConfig ? 20.0f : 80.0f;
    const Case cases[] = {{USERINPUTMODE_OVERWRITE, mid, true},
                          {USERINPUTMODE_GUIDE, mid, false},
                          {USERINPUTMODE_IGNORE, mid, false},
                          {USERINPUTMODE_OVERWRITE, kLower, false},
                          {USERINPUTMODE_OVERWRITE, kUpper, false}};
    const float tracked = orv::kDeviceConfig ? 21.533f : 86.133f;
    for (const Case &c : cases) {
        song(3000, true, 100, tracked);
        bt->initialBI = c.initial;
        beattracker_setUserInputMode(bt.get(), c.mode);
        ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
        if (c.taken) {
            EXPECT_EQ(bt->rBeatInterval, c.initial);
        } else {
            EXPECT_NEAR(bt->rBeatInterval, kK / (kF * 120.0), 1e-3) << c.mode << " " << c.initial;
        }
        EXPECT_EQ(bt->beatInterval, bt->rBeatInterval);
        EXPECT_GT(bt->beatSize, 0u);
    }
}

// With 7 recorded beats or fewer the autocorrelation's interval is taken; outside the range
// of the build (or NaN) the recorded beats stay, with the interval fields already set.
TEST_F(Finish, AcceptedIntervalRangeIsInclusive) {
    struct Case {
        float interval;
        bool accepted;
    };
    const Case cases[] = {{kLower, true},          {kUpper, true}, {kLower - 0.01f, false},
                          {kUpper + 0.01f, false}, {kNaN, false},  {-20.0f, false}};
    for (const Case &c : cases) {
        song(2000, true, 6, 30.0f, 100);
        bt->downbeatSize = 1;
        bt->downbeats[0] = 100;
        bt->rBeatIntervalXcorr = c.interval;
        ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
        if (std::isnan(c.interval)) {
            EXPECT_TRUE(std::isnan(bt->rBeatInterval));
        } else {
            EXPECT_EQ(bt->rBeatInterval, c.interval);
        }
        if (c.accepted) {
            EXPECT_GE(bt->beatSize, 2000 / static_cast<u32>(kUpper + 1)) << c.interval;
            EXPECT_EQ(bt->downbeatSize, (bt->beatSize + 3) / 4);
        } else {
            EXPECT_EQ(beats(), (std::vector<u32>{100, 130, 160, 190, 220, 250})) << c.interval;
            EXPECT_EQ(bt->downbeatSize, 1u);
        }
    }
}

TEST_F(Finish, FewBeatsWithoutAPeakTrainChangeNothing) {
    song(2000, false, 7, 30.0f, 100);
    bt->rBeatInterval = 3.0f;
    bt->beatInterval = 3.0f;
    bt->rBeatIntervalXcorr = kLower + 5.0f;
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_EQ(bt->rBeatInterval, 3.0f);
    EXPECT_EQ(bt->beatInterval, 3.0f);
    EXPECT_EQ(bt->beatSize, 7u);
}

// Beats beyond the last processed frame are dropped; with fewer than five left there is no
// four-beat span to measure and the finish goes the way of few beats.
TEST_F(Finish, TrimmedBeatsBelowFiveCountAsFew) {
    for (bool peakTrain : {false, true}) {
        song(100, peakTrain, 8, 30.0f, 10); // 10, 40, 70, 100, 130, ...: three inside
        bt->rBeatIntervalXcorr = kLower + 2.0f;
        bt->rBeatInterval = 3.0f;
        ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
        EXPECT_EQ(bt->beatSizeRaw, 3u);
        EXPECT_EQ(bt->rBeatInterval, peakTrain ? kLower + 2.0f : 3.0f) << peakTrain;
    }
}

// Without a peak train the recorded beats, all but the last two, seed the fine pass.
TEST_F(Finish, WithoutAPeakTrainTheRecordedBeatsAreTheCandidates) {
    const float interval = orv::kDeviceConfig ? 21.533f : 86.133f;
    song(static_cast<u32>(interval * 60), false, 50, interval, 5);
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_NEAR(bt->rBeatInterval, kK / (kF * 120.0), 1e-3);
    ASSERT_GE(bt->beatSize, 58u);
    for (u32 i = 0; i < 48; ++i) EXPECT_NEAR(bt->beats[i], 5 + i * interval, 1.0) << i;
}

// A song shorter than one interval gives the passes nothing: a fixed grid then has no phase
// and the recorded beats stay.
TEST_F(Finish, FixedGridWithoutCandidatesKeepsTheRecordedBeats) {
    song(10, true, 3, 2.0f, 1);
    bt->rBeatIntervalXcorr = kLower + 1.0f;
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, true), 0);
    EXPECT_EQ(beats(), (std::vector<u32>{1, 3, 5}));
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_EQ(bt->beatSize, 0u);
}

TEST_F(Finish, AnchorsFromOutsideTheSongAreDropped) {
    const float interval = orv::kDeviceConfig ? 21.533f : 86.133f;
    const u32 frames = static_cast<u32>(interval * 40);
    song(frames, false, 30, interval, 5);
    std::vector<s32> anchors = {-100, 200, static_cast<s32>(frames), 0x7FFFFFFF};
    ASSERT_EQ(beattracker_finalize(bt.get(), anchors.data(), static_cast<s32>(anchors.size()), false), 0);
    const std::vector<u32> all = beats();
    std::vector<u32> from200;
    for (u32 b : all)
        if (b >= 200) from200.push_back(b);
    ASSERT_FALSE(from200.empty());
    EXPECT_EQ(from200[0], 200u);
    for (size_t i = 1; i < from200.size(); ++i)
        EXPECT_EQ(from200[i] - from200[i - 1], static_cast<u32>(interval));

    // Only anchors outside: as if there were none.
    song(frames, false, 30, interval, 5);
    std::vector<s32> outside = {-1, static_cast<s32>(frames) + 5};
    ASSERT_EQ(beattracker_finalize(bt.get(), outside.data(), 2, false), 0);
    std::vector<u32> plain = beats();
    song(frames, false, 30, interval, 5);
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_EQ(plain, beats());
}

// Each temporary that cannot be allocated ends the finish with -1 and leaks nothing.
TEST_F(Finish, RefusedTemporariesGiveMinusOne) {
    for (s32 granted : {0, 1}) {
        song(3000, true, 100, kLower + 3.0f);
        beattracker_refuseAllocationsAfter(granted);
        EXPECT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), -1) << granted;
        beattracker_refuseAllocationsAfter(-1);
        EXPECT_EQ(bt->beatSize, 100u);
    }
}

} // namespace
