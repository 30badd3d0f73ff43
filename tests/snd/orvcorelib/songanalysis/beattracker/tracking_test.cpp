// The whole tracker on synthetic songs: the per-frame process from spectra to committed beats
// and downbeats, and the offline finish that lays the final grid.
#include "snd/orvcorelib/songanalysis/beattracker/pulse_song.h"

#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"

#include <cmath>
#include <cstdlib>

namespace {

using namespace bttest;

constexpr u32 kFft = 512;
// Tempo numerator and frame size of this build: interval = K / (F * bpm).
constexpr double kK = 60.0 * orv::kAnalysisSampleRate;
constexpr double kF = orv::kAnalysisFrameSize;

class Tracking : public FreshProcess {};

bool within(u32 a, u32 b, u32 tolerance) {
    return (a > b ? a - b : b - a) <= tolerance;
}

// The nearest true beat to a frame.
size_t nearestBeat(const PulseSong &song, u32 frame) {
    size_t best = 0;
    for (size_t i = 1; i < song.beats.size(); ++i)
        if (std::abs(static_cast<long>(song.beats[i]) - frame) <
            std::abs(static_cast<long>(song.beats[best]) - frame))
            best = i;
    return best;
}

TEST_F(Tracking, ThreeMinutesAt120BpmGiveTheGridAndTheAccentedDownbeats) {
    const double interval = intervalOfBpm(120.0);
    const PulseSong song = makePulseSong(120.0, 180.0, kFft, interval / 2);
    auto bt = makeTracker(kFft);
    openForSong(bt.get(), song);
    runFrames(bt.get(), song, 0, song.frames);
    EXPECT_EQ(bt->iFrameCount, song.frames);

    // Online: committed beats ascend and lie on the pulses; the scored downbeats on accents.
    ASSERT_GT(bt->beatSize, song.beats.size() * 9 / 10);
    for (u32 i = 0; i < bt->beatSize; ++i) {
        if (i > 0) {
            ASSERT_GT(bt->beats[i], bt->beats[i - 1]) << i;
        }
        EXPECT_TRUE(within(bt->beats[i], song.beats[nearestBeat(song, bt->beats[i])], 1)) << "beat " << i;
    }
    ASSERT_GT(bt->downbeatSize, 50u);
    for (u32 i = 0; i < bt->downbeatSize; ++i) {
        const size_t beat = nearestBeat(song, bt->downbeats[i]);
        EXPECT_TRUE(song.accented(beat) && within(bt->downbeats[i], song.beats[beat], 1)) << "downbeat " << i;
    }
    EXPECT_GT(bt->beatScore, 0.5f);
    EXPECT_NEAR(bt->rBeatIntervalXcorr, interval, 0.2);
    EXPECT_EQ(bt->beatInterval, std::trunc(bt->beatInterval));

    // The finish: the snapped interval, every beat within a frame, downbeats every fourth.
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_NEAR(bt->rBeatInterval, kK / (kF * 120.0), 1e-3);
    EXPECT_EQ(bt->beatInterval, bt->rBeatInterval);
    ASSERT_EQ(bt->beatSize, song.beats.size());
    for (u32 i = 0; i < bt->beatSize; ++i)
        EXPECT_TRUE(within(bt->beats[i], song.beats[i], 1))
            << "beat " << i << ": " << bt->beats[i] << " vs " << song.beats[i];
    ASSERT_EQ(bt->downbeatSize, (song.beats.size() + 3) / 4);
    for (u32 i = 0; i < bt->downbeatSize; ++i)
        EXPECT_TRUE(within(bt->downbeats[i], song.beats[4 * i], 1)) << i;
    beattracker_close(bt.get());
}

TEST_F(Tracking, FixedGridStepsByTheWholeInterval) {
    const double interval = intervalOfBpm(120.0);
    const PulseSong song = makePulseSong(120.0, 40.0, kFft, interval / 2);
    auto bt = makeTracker(kFft);
    openForSong(bt.get(), song);
    runFrames(bt.get(), song, 0, song.frames);
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, true), 0);
    const u32 step = static_cast<u32>(bt->beatInterval); // 86 or 21
    ASSERT_GT(bt->beatSize, 20u);
    EXPECT_LT(bt->beats[0], step + 1);
    for (u32 i = 1; i < bt->beatSize; ++i) ASSERT_EQ(bt->beats[i] - bt->beats[i - 1], step) << i;
    EXPECT_GE(bt->beats[bt->beatSize - 1] + step, song.frames);
    beattracker_close(bt.get());
}

// Peak picking (and with it tracking) waits for 4064 flux values or half the song's frames;
// without a known length it starts with the first tempo estimate. Frames before only update
// the onset strength and the tempo estimate.
TEST_F(Tracking, PeakPickingWaitsForTheRingOrHalfTheSong) {
    struct Case {
        s32 numFrames;
        s32 startsAt; // flux values stored when peak picking starts; 0: with the first estimate
    };
    const Case cases[] = {{1000000, 4064}, {3000, 1500}, {0, 0}, {-5, 0}};
    const PulseSong song = makePulseSong(120.0, 120.0, kFft, 10.0, false);
    for (const Case &c : cases) {
        beattracker_resetProcessStatics();
        auto bt = makeTracker(kFft);
        beattracker_open(bt.get(), 0, 0, 0, c.numFrames);
        bool picked = false;
        for (u32 f = 0; f < song.frames && !picked; ++f) {
            bt->peakValue = 5.0f; // every frame that reaches peak picking clears it
            bt->specFlux = -1.0f;
            const float estimateBefore = bt->rBeatIntervalXcorr;
            beattracker_setInputPtr(bt.get(), song.spectrum(f));
            beattracker_process(bt.get());
            EXPECT_GE(bt->specFlux, 0.0f);
            picked = bt->peakValue == 0.0f;
            if (!picked) {
                EXPECT_EQ(bt->beatSize + bt->currentBeatLocation, 0u) << c.numFrames << " frame " << f;
                EXPECT_EQ(bt->beatScore, 0.0f);
            } else if (c.startsAt > 0) {
                EXPECT_EQ(bt->private_->circBuffSpectraFlux->iWrite, c.startsAt) << c.numFrames;
            } else {
                EXPECT_EQ(estimateBefore, 0.0f) << c.numFrames;
                EXPECT_GT(bt->rBeatIntervalXcorr, 0.0f) << c.numFrames;
            }
        }
        EXPECT_TRUE(picked) << c.numFrames;
        beattracker_close(bt.get());
    }
}

TEST_F(Tracking, LongSilenceClearsTheAgentsButKeepsTheBeats) {
    const PulseSong beat = makePulseSong(120.0, 60.0, kFft, 10.0);
    const u32 silence = 1000;
    auto bt = makeTracker(kFft);
    beattracker_open(bt.get(), 0, 0, 0, 0);
    runFrames(bt.get(), beat, 0, beat.frames);
    beattracker_internal *in = bt->private_;
    ASSERT_GE(in->iFirstAgent, 0);
    ASSERT_GT(bt->beatSize, 0u);

    // Peaks are picked 12 frames late, so the last beats' peaks come during the silence.
    const std::vector<s16> quiet(kFft, 0);
    beattracker_setInputPtr(bt.get(), quiet.data());
    u32 clearedAt = 0;
    u32 lastPeak = 0;
    for (u32 f = 0; f < silence; ++f) {
        const u32 frame = bt->iFrameCount;
        if (in->iPeakOffset > 0)
            lastPeak =
                in->pPeaks[static_cast<u32>(in->iPeakOffset - 1) & (BEATTRACKER_NUM_PEAKS - 1)].iLocation;
        beattracker_process(bt.get());
        if (clearedAt == 0 && in->iFirstAgent < 0) clearedAt = frame;
    }
    EXPECT_EQ(clearedAt, lastPeak + 401);
    EXPECT_EQ(in->iPeakOffset, 0);
    EXPECT_EQ(in->iLastAgent, -1);
    EXPECT_EQ(in->iWinningAgentIndex, 0);
    for (float candidate : in->rICBeatInterval) EXPECT_EQ(candidate, 0.0f);
    EXPECT_GT(bt->beatSize, 0u);
    beattracker_close(bt.get());
}

TEST_F(Tracking, ReopenedTrackerStartsTheNextSongAfresh) {
    const PulseSong first = makePulseSong(120.0, 50.0, kFft, 10.0);
    const PulseSong second = makePulseSong(100.0, 60.0, kFft, 20.0);
    auto bt = makeTracker(kFft);
    openForSong(bt.get(), first);
    runFrames(bt.get(), first, 0, first.frames);
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    beattracker_close(bt.get());
    const float biPre0 = btk::biPre0;

    openForSong(bt.get(), second);
    runFrames(bt.get(), second, 0, 1);
    beattracker_internal *in = bt->private_;
    EXPECT_EQ(in->iFirstAgent, -1);
    EXPECT_EQ(in->iPeakOffset, 0);
    EXPECT_EQ(bt->audioStartOffset, 0u);
    EXPECT_EQ(in->tapWeight, 2);
    EXPECT_EQ(btk::biPre0, biPre0); // the first frame has no tempo estimate; the statics carry over
    runFrames(bt.get(), second, 1, second.frames);
    ASSERT_EQ(beattracker_finalize(bt.get(), nullptr, 0, false), 0);
    EXPECT_NEAR(bt->rBeatInterval, kK / (kF * 100.0), 1e-3);
    ASSERT_GT(bt->beatSize, 0u);
    EXPECT_TRUE(within(bt->beats[0], second.beats[0], 1)) << bt->beats[0];
    beattracker_close(bt.get());
}

// A click and then silence leave the tempo curve without a peak, so nothing examines the flux
// ring. Once it is full, each new value displaces the oldest unexamined one: every frame
// since the audio start is stored, none is lost, and the newest values are the latest frames.
TEST_F(Tracking, FullFluxRingGivesWayToNewValues) {
    const PulseSong click = makePulseSong(120.0, 150.0, kFft, 1e9, true);
    auto bt = makeTracker(kFft);
    beattracker_open(bt.get(), 0, 0, 0, 0);
    runFrames(bt.get(), click, 0, click.frames);
    const circbuff_struct *ring = bt->private_->circBuffSpectraFlux;
    const s_FluxGaps &gaps = bt->private_->fluxGaps;
    ASSERT_GT(click.frames, BEATTRACKER_FLUX_RING + 100);
    EXPECT_EQ(ring->iWrite - ring->iRead, static_cast<s32>(BEATTRACKER_FLUX_RING) - 1);
    EXPECT_EQ(static_cast<u32>(ring->iWrite), click.frames - bt->audioStartOffset);
    EXPECT_EQ(gaps.count, 0);
    EXPECT_EQ(fluxGaps_framesLostBefore(&gaps, ring->iWrite), 0u);
    float newest = -1.0f;
    circbuff_readLatest(ring, &newest, 1);
    EXPECT_EQ(newest, bt->specFlux);
    beattracker_close(bt.get());
}

} // namespace
