// Tracker life cycle, settings and taps: defaults of both builds, bounds that keep their
// values, the peak train of the open-close cycle, failed allocations, the tap ring's limit.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using namespace bttest;

constexpr float kLower = orv::kDeviceConfig ? 14.0f : 56.0f;
constexpr float kUpper = orv::kDeviceConfig ? 43.0f : 172.0f;

class Lifecycle : public FreshProcess {};

TEST_F(Lifecycle, NewTrackerHoldsTheDefaultsOfThisBuild) {
    auto bt = makeTracker(1024);
    ASSERT_NE(bt, nullptr);
    EXPECT_EQ(bt->iFFTLen, 1024u);
    EXPECT_EQ(bt->iFrameCount, 0u);
    EXPECT_EQ(bt->threshould, 0.45f);
    EXPECT_EQ(bt->initialBI, 0.0f);
    EXPECT_EQ(bt->lowerBI, kLower);
    EXPECT_EQ(bt->upperBI, kUpper);
    EXPECT_EQ(bt->numFrames, 0);
    EXPECT_EQ(bt->beatSize + bt->beatSizeRaw + bt->downbeatSize + bt->downbeatSizeRaw, 0u);
    ASSERT_NE(bt->beats, nullptr);
    ASSERT_NE(bt->downbeats, nullptr);
    EXPECT_EQ(bt->beats[BEATTRACKER_MAX_BEATS - 1], 0u);
    EXPECT_EQ(bt->downbeats[BEATTRACKER_MAX_DOWNBEATS - 1], 0u);

    const beattracker_internal *in = bt->private_;
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->peakTrain, nullptr);
    EXPECT_EQ(in->circBuffSpectraFlux->uiSize, BEATTRACKER_FLUX_RING);
    EXPECT_EQ(in->tap->uiSize, BEATTRACKER_TAP_RING);
    ASSERT_NE(in->tappedAgent.piBeatHistory, nullptr);
    EXPECT_EQ(in->tappedAgent.piBeatHistory[BEATTRACKER_AGENT_HISTORY - 1], 0u);
    EXPECT_EQ(in->pFFTBuffer[1023], 0.0f);
    EXPECT_EQ(in->piBeatHistory[BEATTRACKER_NUM_AGENTS * BEATTRACKER_AGENT_HISTORY - 1], 0u);
    EXPECT_EQ(in->pPeaks[BEATTRACKER_NUM_PEAKS - 1].iLocation, 0u);
    EXPECT_EQ(in->pClusters[BEATTRACKER_NUM_CLUSTERS - 1].iNumberOfIOIs, 0u);
    EXPECT_EQ(in->pAgents[BEATTRACKER_NUM_AGENTS - 1].sListEntry.iListed, 0);
}

TEST_F(Lifecycle, FftSizeMustLeaveAnOnsetBand) {
    struct Case {
        u32 fftSize;
        bool made;
    };
    const Case cases[] = {{0, false}, {2, false},  {96, false}, {97, false},
                          {98, true}, {256, true}, {512, true}, {1024, true}};
    for (const Case &c : cases) {
        auto bt = makeTracker(c.fftSize);
        EXPECT_EQ(bt != nullptr, c.made) << "fftSize " << c.fftSize;
    }
}

// Building takes 12 allocations; refusing any one of them must give null and leak nothing
// (the leak checker of the sanitized build watches the partly built trackers).
TEST_F(Lifecycle, FailedAllocationGivesNullAndLeaksNothing) {
    for (s32 granted = 0; granted < 12; ++granted) {
        beattracker_refuseAllocationsAfter(granted);
        EXPECT_EQ(beattracker_new(512, PROCESSINGMODE_ONLINE), nullptr) << granted << " granted";
    }
    beattracker_refuseAllocationsAfter(12);
    auto bt = Tracker(beattracker_new(512, PROCESSINGMODE_ONLINE));
    EXPECT_NE(bt, nullptr);
}

TEST_F(Lifecycle, RefusedPeakTrainLeavesTheTrackerWithoutOne) {
    auto bt = makeTracker();
    beattracker_refuseAllocationsAfter(0);
    EXPECT_EQ(beattracker_open(bt.get(), 0, 0, 0, 1000), 0);
    EXPECT_EQ(bt->private_->peakTrain, nullptr);
    EXPECT_EQ(bt->numFrames, 1000);
    beattracker_refuseAllocationsAfter(-1);
    EXPECT_EQ(beattracker_close(bt.get()), 0);
}

TEST_F(Lifecycle, BoundsOfZeroOrLessKeepTheirValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float lower, upper;
        float wantLower, wantUpper;
    };
    const Case cases[] = {
        {0.0f, 0.0f, kLower, kUpper},  {-1.0f, -5.0f, kLower, kUpper}, {10.0f, 0.0f, 10.0f, kUpper},
        {0.0f, 50.0f, kLower, 50.0f},  {nan, nan, kLower, kUpper},     {12.5f, 99.0f, 12.5f, 99.0f},
        {-0.0f, 1e-6f, kLower, 1e-6f},
    };
    for (const Case &c : cases) {
        auto bt = makeTracker();
        EXPECT_EQ(beattracker_setBIBound(bt.get(), c.lower, c.upper), 1);
        EXPECT_EQ(bt->lowerBI, c.wantLower) << c.lower << ", " << c.upper;
        EXPECT_EQ(bt->upperBI, c.wantUpper) << c.lower << ", " << c.upper;

        // open takes upper first, then lower, and starts from the defaults.
        beattracker_setBIBound(bt.get(), 1.0f, 2.0f);
        EXPECT_EQ(beattracker_open(bt.get(), c.upper, c.lower, 0.0f, 0), 0);
        EXPECT_EQ(bt->lowerBI, c.wantLower);
        EXPECT_EQ(bt->upperBI, c.wantUpper);
        beattracker_close(bt.get());
    }
}

TEST_F(Lifecycle, OpenPreparesASongAndSizesThePeakTrain) {
    auto bt = makeTracker();
    bt->iFrameCount = 77;
    bt->beatSize = bt->beatSizeRaw = 5;
    bt->downbeatSize = bt->downbeatSizeRaw = 2;
    beattracker_setThreshould(bt.get(), 17.0f);
    EXPECT_EQ(beattracker_open(bt.get(), 40.0f, 20.0f, 21.5f, 300), 0);
    EXPECT_EQ(bt->iFrameCount, 0u);
    EXPECT_EQ(bt->beatSize + bt->beatSizeRaw + bt->downbeatSize + bt->downbeatSizeRaw, 0u);
    EXPECT_EQ(bt->threshould, 0.45f);
    EXPECT_EQ(bt->upperBI, 40.0f);
    EXPECT_EQ(bt->lowerBI, 20.0f);
    EXPECT_EQ(bt->initialBI, 21.5f);
    EXPECT_EQ(bt->numFrames, 300);
    const s32 *train = bt->private_->peakTrain;
    ASSERT_NE(train, nullptr);
    EXPECT_EQ(train[0], 0);
    EXPECT_EQ(train[299], 0);

    // Reopening replaces the train (the leak checker sees the old one go).
    bt->private_->peakTrain[10] = 99;
    EXPECT_EQ(beattracker_open(bt.get(), 0, 0, 0, 50), 0);
    ASSERT_NE(bt->private_->peakTrain, nullptr);
    EXPECT_EQ(bt->private_->peakTrain[10], 0);
    EXPECT_EQ(bt->private_->peakTrain[49], 0);
    EXPECT_EQ(beattracker_close(bt.get()), 0);
    EXPECT_EQ(bt->private_->peakTrain, nullptr);
}

TEST_F(Lifecycle, NoFrameCountMeansNoPeakTrain) {
    for (s32 frames : {0, -1, std::numeric_limits<s32>::min()}) {
        auto bt = makeTracker();
        EXPECT_EQ(beattracker_open(bt.get(), 0, 0, 0, frames), 0);
        EXPECT_EQ(bt->private_->peakTrain, nullptr) << frames;
        EXPECT_EQ(bt->numFrames, frames);
        EXPECT_EQ(beattracker_close(bt.get()), 0);
        EXPECT_EQ(beattracker_close(bt.get()), 0); // nothing left to release
    }
}

TEST_F(Lifecycle, CloseRestoresSettingsButKeepsModePatternAndTaps) {
    auto bt = makeTracker();
    beattracker_open(bt.get(), 30.0f, 15.0f, 20.0f, 100);
    beattracker_setThreshould(bt.get(), 17.0f);
    beattracker_setInitialBI(bt.get(), 25.0f);
    beattracker_setBIBound(bt.get(), 11.0f, 33.0f);
    const s32 pattern[4] = {10, 5, 7, 5};
    beattracker_setBeatPattern(bt.get(), pattern, 4);
    beattracker_setUserInputMode(bt.get(), USERINPUTMODE_OVERWRITE);
    beattracker_tapBeat(bt.get(), 40);
    bt->iFrameCount = 9;

    EXPECT_EQ(beattracker_close(bt.get()), 0);
    EXPECT_EQ(bt->threshould, 0.45f);
    EXPECT_EQ(bt->initialBI, 0.0f);
    EXPECT_EQ(bt->lowerBI, kLower);
    EXPECT_EQ(bt->upperBI, kUpper);
    EXPECT_EQ(bt->numFrames, 0);
    EXPECT_EQ(bt->iFrameCount, 0u);
    EXPECT_EQ(bt->userInputMode, USERINPUTMODE_OVERWRITE);
    EXPECT_EQ(bt->private_->tapWeight, 20);
    const float wantPattern[4] = {10.0f, 5.0f, 7.0f, 5.0f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bt->private_->beatPattern[i], wantPattern[i]);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(bt->private_->tap), 1);
}

TEST_F(Lifecycle, UserInputModeSetsTheTapWeight) {
    struct Case {
        s32 mode;
        s32 weight;
    };
    const Case cases[] = {{0, 0}, {1, 4}, {2, 20}, {3, 4}, {-1, 4}, {1000, 4}};
    for (const Case &c : cases) {
        auto bt = makeTracker();
        const auto mode = static_cast<beattracker_userinputmode_t>(c.mode);
        EXPECT_EQ(beattracker_setUserInputMode(bt.get(), mode), 0);
        EXPECT_EQ(bt->userInputMode, mode);
        EXPECT_EQ(bt->private_->tapWeight, c.weight) << "mode " << c.mode;
    }
}

TEST_F(Lifecycle, SettersStoreAndReturnTheirCodes) {
    auto bt = makeTracker();
    EXPECT_EQ(beattracker_setThreshould(bt.get(), 17.0f), 1);
    EXPECT_EQ(bt->threshould, 17.0f);
    EXPECT_EQ(beattracker_setInitialBI(bt.get(), 21.25f), 1);
    EXPECT_EQ(bt->initialBI, 21.25f);
    const s32 pattern[4] = {-3, 0, 65536, 7};
    EXPECT_EQ(beattracker_setBeatPattern(bt.get(), pattern, 0), 1); // size is not read
    EXPECT_EQ(bt->private_->beatPattern[0], -3.0f);
    EXPECT_EQ(bt->private_->beatPattern[2], 65536.0f);
    EXPECT_EQ(bt->private_->beatPattern[3], 7.0f);
    const s16 spectrum[4] = {};
    beattracker_setInputPtr(bt.get(), spectrum);
    EXPECT_EQ(bt->pInFFT, spectrum);
}

TEST_F(Lifecycle, IgnoredInputsChangeNothing) {
    auto bt = makeTracker();
    beattracker_open(bt.get(), 0, 0, 0, 10);
    std::vector<u8> before(sizeof(beattracker_struct));
    std::memcpy(before.data(), bt.get(), before.size());
    const beattracker_internal inBefore = *bt->private_;
    const u32 values[3] = {5, 10, 15};
    EXPECT_EQ(beattracker_setBeats(bt.get(), values, 3), 0);
    EXPECT_EQ(beattracker_setDownbeats(bt.get(), values, 3), 0);
    EXPECT_EQ(beattracker_tapDownbeat(bt.get(), 1234), 0);
    EXPECT_EQ(std::memcmp(before.data(), bt.get(), before.size()), 0);
    EXPECT_EQ(std::memcmp(&inBefore, bt->private_, sizeof(beattracker_internal)), 0);
    EXPECT_EQ(bt->beats[0], 0u);
    EXPECT_EQ(bt->downbeats[0], 0u);
    beattracker_close(bt.get());
}

TEST_F(Lifecycle, TapsStartTappingAndTheRingKeeps511) {
    auto bt = makeTracker();
    beattracker_internal *in = bt->private_;
    in->tappedDownbeatOffset = 2;
    in->tapDelay = 9;
    EXPECT_EQ(beattracker_tapBeat(bt.get(), 16777217u), 0); // becomes the nearest float
    EXPECT_EQ(in->tapState, TAPSTATE_STARTED);
    EXPECT_EQ(in->tappedDownbeatOffset, -1);
    EXPECT_EQ(in->tapDelay, 0u);
    EXPECT_EQ(in->tap->rpBuff[0], 16777216.0f);

    for (u32 i = 1; i < 511; ++i) beattracker_tapBeat(bt.get(), i);
    EXPECT_EQ(circbuff_getNumberOfUnreadData(in->tap), 511);
    in->tapState = TAPSTATE_NONE;
    in->tapDelay = 3;
    EXPECT_EQ(beattracker_tapBeat(bt.get(), 9999), 0); // the 512th unread tap is dropped
    EXPECT_EQ(circbuff_getNumberOfUnreadData(in->tap), 511);
    EXPECT_EQ(in->tap->rpBuff[511], 0.0f);
    EXPECT_EQ(in->tapState, TAPSTATE_STARTED); // tapping still starts
    EXPECT_EQ(in->tapDelay, 0u);

    EXPECT_EQ(beattracker_tapReset(bt.get()), 0);
    EXPECT_EQ(in->tapState, TAPSTATE_RESET);
}

TEST_F(Lifecycle, DestroyAcceptsNullAndAnOpenTracker) {
    EXPECT_EQ(beattracker_destroy(nullptr), nullptr);
    beattracker_struct *bt = beattracker_new(256, PROCESSINGMODE_ONLINE);
    ASSERT_NE(bt, nullptr);
    beattracker_open(bt, 0, 0, 0, 5000);
    EXPECT_EQ(beattracker_destroy(bt), nullptr); // the train goes too: no leak reported
}

} // namespace
