// Songs that end before the tracker's warm-up is over (the warm-up waits until the flux ring
// of 4096 frames is nearly full: about 94 s on the device, 24 s on the desktop) get their tempo
// and grid from the beats tracked over the whole song, as longer songs do.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"

#include <cmath>

namespace {

using namespace satest;

class ShortSong : public FreshAnalysis {};

constexpr double kFrameMs = 1000.0 * kFrame / kRate;

struct LoopCase {
    double bpm;
    double weakDb; // how much quieter the bar's other beats are than its first
};

// A drum loop shorter than the warm-up (60 s on the device, 20 s on the desktop): the tempo
// is exact and every beat lies on the loop's beats, to the end of the song (a tempo off by a
// fraction of a beat per minute would leave the late beats a frame or more off).
TEST_F(ShortSong, TempoAndGridComeFromTheTrackedBeats) {
    const LoopCase cases[] = {{100.0, 0.0}, {100.0, 6.0}, {120.0, 0.0}, {120.0, 3.0},
                              {120.0, 6.0}, {128.0, 0.0}, {128.0, 6.0}};
    const double kSeconds = orv::kDeviceConfig ? 60.0 : 20.0;
    constexpr double kFirstBeat = 0.1;
    for (const LoopCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpm << " BPM, weak beats " << c.weakDb << " dB");
        beattracker_resetProcessStatics();
        const Pcm song = makeDrumSong(c.bpm, kSeconds, kFirstBeat, 2, kRate, c.weakDb);
        auto sa = makeRecord();
        ASSERT_NE(sa, nullptr);
        analyse(sa.get(), song);

        EXPECT_FLOAT_EQ(sa->beatsPerMinute, static_cast<float>(c.bpm));
        const double beatMs = 60000.0 / c.bpm;
        const u32 beats = songanalysis_getNumberOfBeats(sa.get());
        const u32 loopBeats = static_cast<u32>(std::ceil((kSeconds - kFirstBeat) * 1000.0 / beatMs));
        EXPECT_NEAR(beats, loopBeats, 1);
        const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
        for (u32 i = 0; i < bt->beatSize; ++i) {
            const double ms = bt->beats[i] * kFrameMs;
            const double off = std::remainder(ms - kFirstBeat * 1000.0, beatMs);
            if (std::fabs(off) > 2 * kFrameMs) {
                ADD_FAILURE() << "beat " << i << " at " << ms << " ms is " << off << " ms off the loop";
                break;
            }
        }
    }
}

// A loop that starts on its first sample with an accented bar: the first beat and the first
// downbeat lie on frame 0, and the downbeats on the bars' first beats.
TEST_F(ShortSong, LoopFromTheFirstSampleHasABeatAndADownbeatThere) {
    const double bpms[] = {100.0, 120.0, 128.0};
    const double seconds = orv::kDeviceConfig ? 60.0 : 20.0;
    for (double bpm : bpms) {
        SCOPED_TRACE(testing::Message() << bpm << " BPM");
        beattracker_resetProcessStatics();
        const Pcm song = makeDrumSong(bpm, seconds, 0.0, 2, kRate, 6.0);
        auto sa = makeRecord();
        ASSERT_NE(sa, nullptr);
        analyse(sa.get(), song);
        const beattracker_struct *bt = songanalysis_getHandle(sa.get())->beatTracker;
        ASSERT_GT(bt->beatSize, 8u);
        ASSERT_GT(bt->downbeatSize, 2u);
        EXPECT_EQ(bt->beats[0], 0u);
        EXPECT_EQ(bt->downbeats[0], 0u);
        const double barMs = 4 * 60000.0 / bpm;
        const double secondBar = bt->downbeats[1] * kFrameMs;
        EXPECT_NEAR(secondBar, barMs, 2 * kFrameMs);
    }
}

} // namespace
