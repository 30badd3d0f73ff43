// A song whose music starts long after a first short sound: the onset ring fills with the
// near-silence before the tempo estimate has accepted anything, and the music after it must
// still be tracked.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_handle.h"

namespace {

using namespace satest;

class LateMusic : public FreshAnalysis {};

// One drum hit, then silence long enough for the onset ring (4096 values) to fill, then a
// minute of drums at 120 BPM.
TEST_F(LateMusic, MusicAfterTheOnsetRingFilledWithSilenceIsTracked) {
    const double silence = (BEATTRACKER_FLUX_RING + 200) * kFrame / kRate;
    const double musicStart = 0.3 + silence;
    const Pcm hit = makeDrumSong(120.0, 0.3, 0.0);
    const Pcm song = concat(concat(hit, makeSilence(silence)), makeDrumSong(120.0, 60.0, 0.0));
    auto sa = makeRecord();
    ASSERT_NE(sa, nullptr);
    analyse(sa.get(), song);

    EXPECT_FLOAT_EQ(sa->beatsPerMinute, 120.0f);
    const u32 count = songanalysis_getNumberOfBeats(sa.get());
    std::vector<u32> beats(count);
    songanalysis_getBeats(sa.get(), beats.data(), 0, count);
    u32 inMusic = 0;
    for (u32 ms : beats)
        if (ms >= musicStart * 1000.0 - 30.0) ++inMusic;
    // A minute at 120 BPM holds 120 beats; the grid may also reach back into the silence.
    EXPECT_GE(inMusic, 115u);
    const songanalysis_handle *h = songanalysis_getHandle(sa.get());
    EXPECT_GT(h->beatTracker->private_->iPeakOffset, 0);
}

} // namespace
