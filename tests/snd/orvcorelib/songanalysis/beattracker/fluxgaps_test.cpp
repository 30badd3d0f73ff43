// Frames whose flux values a full ring refused: ring positions map back to song frames, so
// peaks found after the gap keep their true frames.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include "songanalysis/beattracker/beattracker_onset.h"

#include <vector>

namespace {

using namespace bttest;

TEST(FluxGaps, PositionsMapPastTheLostFrames) {
    s_FluxGaps gaps{};
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 0), 0u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 100000), 0u);

    for (int i = 0; i < 30; ++i) fluxGaps_recordDrop(&gaps, 4095, 0); // full ring, nothing read
    ASSERT_EQ(gaps.count, 1);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4094), 0u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4095), 30u);

    // Full again after 4083 reads and more writes: a second gap, the first one still ahead
    // of the unexamined values.
    fluxGaps_recordDrop(&gaps, 4095 + 4083, 4083);
    ASSERT_EQ(gaps.count, 2);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4083), 0u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 5000), 30u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4095 + 4083), 31u);

    // A third gap finds the first behind every unexamined value and folds it into the base.
    fluxGaps_recordDrop(&gaps, 4095 + 2 * 4083, 2 * 4083);
    ASSERT_EQ(gaps.count, 2);
    EXPECT_EQ(gaps.framesLostBefore, 30u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 2 * 4083), 30u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4095 + 4083), 31u);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, 4095 + 2 * 4083), 32u);
}

// A ring left unexamined fills up; the values of the next 100 frames are refused. Peaks
// stored after that must name their true frames, 100 later than their ring positions.
TEST(FluxGaps, PeaksAfterAGapKeepTheirFrames) {
    auto ring = makeFluxRing();
    s_FluxGaps gaps{};
    const u32 audioStart = 37;
    // The flux of frame f (counted from the audio start): a decaying pulse every 40 frames.
    const auto flux = [](u32 f) {
        const u32 since = (f + 20) % 40;
        return 1.0f + 10.0f * static_cast<float>(since < 8 ? 8 - since : 0);
    };
    u32 frame = 0;
    for (; frame < BEATTRACKER_FLUX_RING - 1; ++frame) {
        const float v = flux(frame);
        ASSERT_EQ(circbuff_write(ring.get(), &v, 1, 0), 1);
    }
    for (; frame < BEATTRACKER_FLUX_RING - 1 + 100; ++frame) {
        const float v = flux(frame);
        ASSERT_EQ(circbuff_write(ring.get(), &v, 1, 0), 0);
        fluxGaps_recordDrop(&gaps, ring->iWrite, ring->iRead);
    }

    std::vector<s_Peak> peaks(BEATTRACKER_NUM_PEAKS);
    s32 count = 0;
    float envelope = 0.0f;
    float min = 0, sum = 0, sumForNext = 0, mean = 0, sum2 = 0, sum2ForNext = 0, std = 1;
    const auto pick = [&] {
        calculateSFStatistics(ring.get(), &min, &sum, &sumForNext, &mean, &sum2, &sum2ForNext, &std);
        return detectPeaksMapped(ring.get(), 0.45f, &envelope, peaks.data(), &count, audioStart, &gaps, mean,
                                 std, min, nullptr, 0);
    };
    pick();
    for (u32 more = 0; more < 2000; ++more, ++frame) {
        const float v = flux(frame);
        ASSERT_EQ(circbuff_write(ring.get(), &v, 1, 0), 1);
        pick();
    }
    ASSERT_GT(count, 150);
    for (s32 i = 0; i < count; ++i) {
        const u32 songFrame = peaks[static_cast<size_t>(i)].iLocation - audioStart;
        EXPECT_EQ(flux(songFrame), 81.0f) << "peak " << i << " at frame " << songFrame;
    }
    EXPECT_GT(peaks[static_cast<size_t>(count - 1)].iLocation, BEATTRACKER_FLUX_RING + 100 + audioStart);
}

} // namespace
