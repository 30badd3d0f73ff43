// Three minutes of drums at tempos whose beat falls between two whole frames of the tempo curve.
// At the device's coarse frame rate a tempo estimate a tenth of a frame off, or an agent at the
// song's interval frozen by a sparse stretch of peaks, lets the agent at 3/2 of the interval
// win: the song then reads at 2/3 of its tempo with most beats off the music.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include <cmath>

namespace {

using namespace satest;

class FastTempo : public FreshAnalysis {};

TEST_F(FastTempo, DrumSongsBetweenWholeFrameLagsKeepTheirTempoAndBeats) {
    constexpr double kSeconds = 180.0;
    const double bpms[] = {128.0, 140.0, 174.0};
    for (double bpm : bpms) {
        SCOPED_TRACE(bpm);
        beattracker_resetProcessStatics();
        const Pcm song = makeDrumSong(bpm, kSeconds);
        auto sa = makeRecord();
        ASSERT_NE(sa, nullptr);
        analyse(sa.get(), song);

        EXPECT_NEAR(sa->beatsPerMinute, bpm, 0.5);
        // The beats lie on the pattern's grid (first beat at 0.1 s) all through the song.
        const double beatMs = 60000.0 / bpm;
        const u32 count = songanalysis_getNumberOfBeats(sa.get());
        EXPECT_NEAR(count, kSeconds * bpm / 60.0, 4.0);
        std::vector<u32> beats(count);
        songanalysis_getBeats(sa.get(), beats.data(), 0, count);
        u32 onGrid = 0;
        for (u32 ms : beats)
            if (std::fabs(std::remainder(ms - 100.0, beatMs)) <= 70.0) ++onGrid;
        EXPECT_GE(onGrid, count * 95 / 100) << count << " beats";
    }
}

} // namespace
