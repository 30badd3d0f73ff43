// The onset function: spectral flux by band, its smoothing and the audio start, the flux
// ring's statistics, and the picking of onset peaks 12 frames behind the newest value.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"
#include "songanalysis/beattracker/beattracker_onset.h"
#include "songanalysis/beattracker/beattracker_statics.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace bttest;

struct Bin {
    u32 k;
    s16 re, im;
};

std::vector<s16> spectrum(u32 fftLen, const std::vector<Bin> &bins) {
    std::vector<s16> s(fftLen, 0);
    for (const Bin &b : bins) {
        if (b.k == 0) {
            s[0] = b.re;
            continue;
        }
        s[2 * b.k] = b.re;
        s[2 * b.k + 1] = b.im;
    }
    return s;
}

// One tracker's worth of onset state without a tracker.
class Flux : public FreshProcess {
  protected:
    u32 fftLen = 512;
    std::vector<float> magnitudes = std::vector<float>(512, 0.0f);
    Ring ring = makeFluxRing();
    s32 started = 0;
    u32 startFrame = 0;
    u32 frame = 0;

    float feed(const std::vector<s16> &s) {
        return calculateSpectralFlux(s.data(), fftLen, magnitudes.data(), ring.get(), frame++, &started,
                                     &startFrame);
    }
    void useFftLen(u32 len) {
        fftLen = len;
        magnitudes.assign(len, 0.0f);
    }
};

TEST_F(Flux, SilentStartStoresNothingUntilTheStartLevel) {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(feed(spectrum(fftLen, {})), 0.0f);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(ring->iWrite, 0);

    const float first = feed(spectrum(fftLen, {{10, 10000, 0}}));
    EXPECT_GE(first, 0.01f);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(startFrame, 5u);
    EXPECT_EQ(ring->rpBuff[0], first);

    // Every later value is stored, however small.
    float last = first;
    for (int i = 0; i < 400; ++i) last = feed(spectrum(fftLen, {{10, 10000, 0}}));
    EXPECT_LT(last, 0.01f);
    EXPECT_EQ(ring->iWrite, 401);
    EXPECT_EQ(ring->rpBuff[400], last);
    EXPECT_EQ(startFrame, 5u);
}

TEST_F(Flux, RisesFastAndFallsBackByTheDecayFactor) {
    btk::specFluxPre = 0.25f;
    const float up = feed(spectrum(fftLen, {{20, 5000, 5000}}));
    const float m = std::sqrt(50.0f * 50.0f + 50.0f * 50.0f);
    const float raw = m * 1.0f / 208.0f;
    EXPECT_EQ(up, 0.9451f * raw + 0.0549f * 0.25f);
    EXPECT_EQ(btk::specFluxPre, up);

    float previous = up;
    for (int i = 0; i < 5; ++i) { // the same spectrum again: no rise at all
        const float down = feed(spectrum(fftLen, {{20, 5000, 5000}}));
        EXPECT_EQ(down, 0.028599977f * 0.0f + 0.9714f * previous);
        previous = down;
    }
}

TEST_F(Flux, BinZeroAddsItsSignedRealPartEveryFrame) {
    // Bin 0 only counts when another bin rises; its remembered value stays 0.
    const std::vector<s16> rising[] = {spectrum(fftLen, {{0, 1000, 0}, {10, 100, 0}}),
                                       spectrum(fftLen, {{0, 1000, 0}, {10, 200, 0}})};
    const float expected[] = {0.9451f * ((10.0f + 1.0f) * 1.0f / 208.0f),
                              0.9451f * ((10.0f + 1.0f) * 1.0f / 208.0f)};
    for (int i = 0; i < 2; ++i) {
        beattracker_resetProcessStatics(); // no smoothing memory: the raw flux shows
        EXPECT_EQ(feed(rising[i]), expected[i]) << i;
        EXPECT_EQ(magnitudes[256], 0.0f); // bin 0's previous value
    }
    beattracker_resetProcessStatics();
    EXPECT_EQ(feed(spectrum(fftLen, {{0, 1000, 0}})), 0.0f); // no rising bin: nothing

    beattracker_resetProcessStatics();
    magnitudes.assign(fftLen, 0.0f);
    EXPECT_EQ(feed(spectrum(fftLen, {{0, -1000, 0}, {10, 100, 0}})),
              0.9451f * (1.0f * 1.0f / 208.0f)); // a negative value adds nothing
}

TEST_F(Flux, EachBandNeedsItsOwnRise) {
    struct Case {
        u32 fftLen;
        u32 bin;
        s16 exactlyFactor; // real part giving factor x the previous magnitude 1.0
        bool counts;       // false above the band
    };
    const Case cases[] = {
        {512, 1, 400, true},    {512, 3, 400, true},     {512, 4, 200, true},  {512, 7, 200, true},
        {512, 8, 130, true},    {512, 63, 130, true},    {512, 64, 110, true}, {512, 207, 110, true},
        {512, 208, 110, false}, {512, 255, 110, false},  {256, 79, 110, true}, {256, 80, 110, false},
        {1024, 463, 110, true}, {1024, 464, 110, false}, {256, 63, 130, true},
    };
    for (const Case &c : cases) {
        const float band = static_cast<float>(c.fftLen / 2 - 48);
        for (s16 delta : {0, 1}) {
            useFftLen(c.fftLen);
            feed(spectrum(c.fftLen, {{c.bin, 100, 0}})); // previous magnitude 1.0
            beattracker_resetProcessStatics();
            const s16 re = static_cast<s16>(c.exactlyFactor + delta);
            const float m = static_cast<float>(re) * 0.01f;
            const float flux = feed(spectrum(c.fftLen, {{c.bin, re, 0}}));
            const bool rises = c.counts && delta == 1;
            EXPECT_EQ(flux, rises ? 0.9451f * ((m - 1.0f) * 1.0f / band) : 0.0f)
                << "fft " << c.fftLen << " bin " << c.bin << " delta " << delta;
        }
    }
}

TEST_F(Flux, SpectrumWithoutAnOnsetBandGivesNoRawFlux) {
    for (u32 len : {0u, 2u, 96u}) {
        useFftLen(len);
        std::vector<s16> s(len, 30000);
        EXPECT_EQ(
            calculateSpectralFlux(s.data(), len, magnitudes.data(), ring.get(), 0, &started, &startFrame),
            0.0f);
    }
}

TEST_F(Flux, FullRingDropsTheValue) {
    started = 1;
    pushValues(ring.get(), std::vector<float>(4095, 0.5f));
    feed(spectrum(fftLen, {{10, 10000, 0}}));
    EXPECT_EQ(ring->iWrite, 4095);
    EXPECT_EQ(ring->rpBuff[4095], 0.0f);
}

TEST_F(Flux, ResetForANewSongKeepsThePreviousFlux) {
    auto bt = makeTracker(512);
    beattracker_internal *in = bt->private_;
    bt->audioStarted = 1;
    bt->audioStartOffset = 40;
    in->pFFTBuffer[511] = 3.0f;
    pushValues(in->circBuffSpectraFlux, {1.0f, 2.0f});
    in->rSFG = in->rSFMean = in->rSFMin = in->sum = in->sumForNext = 1.0f;
    in->sum2 = in->sum2ForNext = in->rSFStd = 2.0f;
    in->iPeakOffset = 9;
    btk::specFluxPre = 0.75f;

    beattracker_resetOnset(bt.get());
    EXPECT_EQ(bt->audioStarted, 0);
    EXPECT_EQ(bt->audioStartOffset, 0u);
    EXPECT_EQ(in->pFFTBuffer[511], 0.0f);
    EXPECT_EQ(in->circBuffSpectraFlux->iWrite, 0);
    EXPECT_EQ(in->circBuffSpectraFlux->rpBuff[1], 0.0f);
    EXPECT_EQ(in->rSFG + in->rSFMean + in->rSFMin + in->sum + in->sumForNext, 0.0f);
    EXPECT_EQ(in->sum2 + in->sum2ForNext, 0.0f);
    EXPECT_EQ(in->rSFStd, 1.0f);
    EXPECT_EQ(in->iPeakOffset, 0);
    EXPECT_EQ(btk::specFluxPre, 0.75f);
}

// The statistics of a flux ring, as the tracker keeps them.
struct Stats {
    float min = 0, sum = 0, sumForNext = 0, mean = 0, sum2 = 0, sum2ForNext = 0, std = 1;
    void update(const circbuff_struct *cb) {
        calculateSFStatistics(cb, &min, &sum, &sumForNext, &mean, &sum2, &sum2ForNext, &std);
    }
};

TEST(FluxStatistics, FullPassSpansEverySlot) {
    auto ring = makeFluxRing();
    pushValues(ring.get(), {1.0f, 2.0f, 3.0f});
    Stats s;
    s.update(ring.get());
    const double mean = 6.0 / 4096.0;
    const double squares =
        (1 - mean) * (1 - mean) + (2 - mean) * (2 - mean) + (3 - mean) * (3 - mean) + 4093 * mean * mean;
    EXPECT_EQ(s.sum, 6.0f);
    EXPECT_EQ(s.sumForNext, 6.0f); // the slot the next write fills holds 0
    EXPECT_EQ(s.min, 1.0f);
    EXPECT_EQ(s.mean, static_cast<float>(mean));
    // Thousands of tiny float terms: close to the exact sums, not equal.
    EXPECT_NEAR(s.sum2, squares, squares * 2e-4);
    EXPECT_NEAR(s.sum2ForNext, squares - mean * mean, squares * 2e-4);
    // The root of the summed squares over the ring size, not over its root.
    EXPECT_NEAR(s.std, std::sqrt(squares) / 4096.0, std::sqrt(squares) / 4096.0 * 2e-4);
}

TEST(FluxStatistics, EmptyRingHasNoMinimumAndNoSpread) {
    auto ring = makeFluxRing();
    Stats s;
    s.update(ring.get());
    EXPECT_EQ(s.min, 1.0e10f);
    EXPECT_EQ(s.sum, 0.0f);
    EXPECT_EQ(s.std, 0.0f);
    pushValues(ring.get(), {0.5f});
    s.update(ring.get()); // sum2 is still 0: another full pass
    EXPECT_EQ(s.min, 0.5f);
    EXPECT_EQ(s.sum, 0.5f);
}

TEST(FluxStatistics, SlidingStepTakesTheNewestInAndTheOldestOut) {
    auto ring = makeFluxRing();
    pushValues(ring.get(), {1.0f, 2.0f, 3.0f});
    Stats s;
    s.update(ring.get());
    const float sum2ForNext = s.sum2ForNext;
    pushValues(ring.get(), {0.25f}); // smaller than the minimum: the minimum stays
    s.update(ring.get());
    const float mean = 6.25f / 4096.0f;
    EXPECT_EQ(s.sum, 6.25f);
    EXPECT_EQ(s.sumForNext, 6.25f);
    EXPECT_EQ(s.mean, mean);
    EXPECT_EQ(s.sum2, sum2ForNext + (0.25f - mean) * (0.25f - mean));
    EXPECT_EQ(s.sum2ForNext, s.sum2 - (0.0f - mean) * (0.0f - mean));
    EXPECT_EQ(s.min, 1.0f);
    EXPECT_EQ(s.std, static_cast<float>(std::sqrt(static_cast<double>(s.sum2)) / 4096.0));

    // Once the ring has wrapped, the value leaving is the oldest one, at the write position.
    ring->iRead = ring->iWrite;
    pushValues(ring.get(), std::vector<float>(4092, 0.0f)); // slots 4..4095
    ring->iRead = ring->iWrite;
    s.sumForNext = 5.25f;           // the sums without slot 0 (1.0), which the next write replaces
    pushValues(ring.get(), {0.5f}); // W = 4097: slot 0 now 0.5, slot 1 (2.0) leaves next
    s.update(ring.get());
    EXPECT_EQ(s.sum, 5.75f);
    EXPECT_EQ(s.sumForNext, 3.75f);
}

TEST(FluxStatistics, SlidingSumsFollowALongSong) {
    auto ring = makeFluxRing();
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(0.0f, 2.0f);
    for (int i = 0; i < 4095; ++i) pushValues(ring.get(), {dist(rng)});
    ring->iRead = ring->iWrite;
    Stats s;
    s.update(ring.get()); // a full pass over a full ring, then a steady song
    for (int i = 0; i < 12000; ++i) {
        pushValues(ring.get(), {dist(rng)});
        ring->iRead = ring->iWrite;
        s.update(ring.get());
    }
    double sum = 0;
    for (u32 i = 0; i < 4096; ++i) sum += ring->rpBuff[i];
    const double mean = sum / 4096;
    double squares = 0;
    for (u32 i = 0; i < 4096; ++i) squares += (ring->rpBuff[i] - mean) * (ring->rpBuff[i] - mean);
    EXPECT_NEAR(s.mean, mean, mean * 1e-3);
    EXPECT_NEAR(s.std, std::sqrt(squares) / 4096, std::sqrt(squares) / 4096 * 0.02);
}

TEST(FluxStatistics, DriftBelowZeroGivesNoSpreadInsteadOfNaN) {
    auto ring = makeFluxRing();
    pushValues(ring.get(), {0.0f});
    Stats s;
    s.sum2 = 1e-3f; // not 0: the sliding step runs
    s.sum2ForNext = -1.0f;
    s.update(ring.get());
    EXPECT_LT(s.sum2, 0.0f);
    EXPECT_EQ(s.std, 0.0f);
    EXPECT_FALSE(std::isnan(s.std));
}

// Peak picking over a ring of given values (zeros elsewhere).
class Peaks : public ::testing::Test {
  protected:
    Ring ring = makeFluxRing();
    std::vector<s_Peak> peaks = std::vector<s_Peak>(BEATTRACKER_NUM_PEAKS);
    s32 count = 0;
    float envelope = 0.0f;
    // A minimum keeps the silent frames from counting as peaks.
    float threshold = 0.0f, mean = 0.0f, std = 1.0f, min = 0.01f;
    u32 audioStart = 0;
    s32 *train = nullptr;
    s32 trainSize = 0;

    void write(size_t length, const std::vector<std::pair<size_t, float>> &values) {
        std::vector<float> v(length, 0.0f);
        for (auto [pos, value] : values) v[pos] = value;
        pushValues(ring.get(), v);
    }
    s32 pick() {
        return detectPeaks(ring.get(), threshold, &envelope, peaks.data(), &count, audioStart, mean, std, min,
                           train, trainSize);
    }
    std::vector<u32> locations() const {
        std::vector<u32> at;
        for (s32 i = 0; i < count; ++i) at.push_back(peaks[i].iLocation);
        return at;
    }
};

TEST_F(Peaks, ShapesOfTheFluxDecideWhatIsAPeak) {
    struct Case {
        const char *what;
        std::vector<std::pair<size_t, float>> values;
        float threshold, std, mean, min;
        std::vector<u32> want;
    };
    const std::vector<Case> cases = {
        {"lone impulse", {{50, 1.0f}}, 0, 1, 0, 0.01f, {50}},
        {"equal neighbours both count", {{50, 1.0f}, {55, 1.0f}}, 0, 1, 0, 0.01f, {50, 55}},
        {"a larger one within 12 frames wins", {{50, 1.0f}, {62, 1.5f}}, 0, 1, 0, 0.01f, {62}},
        {"and before it too", {{50, 1.5f}, {62, 1.0f}}, 0, 1, 0, 0.01f, {50}},
        {"13 frames apart both count", {{50, 1.0f}, {63, 1.5f}}, 0, 1, 0, 0.01f, {50, 63}},
        {"below the decaying envelope", {{50, 1.0f}, {63, 0.1f}}, 0, 1, 0, 0.01f, {50}},
        {"above the decaying envelope", {{50, 1.0f}, {63, 0.13f}}, 0, 1, 0, 0.01f, {50, 63}},
        {"below threshold plus window mean", {{50, 0.9f}}, 0.45f, 2, 0, 0.01f, {}},
        {"above threshold plus window mean", {{50, 0.95f}}, 0.45f, 2, 0, 0.01f, {50}},
        {"the window mean counts a 49th", {{50, 0.9185f}}, 0.45f, 2, 0, 0.01f, {}},
        {"below mean plus minimum", {{50, 1.0f}}, 0, 1, 0.5f, 0.6f, {}},
        {"above mean plus minimum", {{50, 1.2f}}, 0, 1, 0.5f, 0.6f, {50}},
        {"silence is no peak", {}, 0, 1, 0, 0.01f, {}},
        {"last 12 values wait", {{88, 1.0f}}, 0, 1, 0, 0.01f, {}},
        {"the 13th from the end is examined", {{87, 1.0f}}, 0, 1, 0, 0.01f, {87}},
    };
    for (const Case &c : cases) {
        ring = makeFluxRing();
        count = 0;
        envelope = 0.0f;
        threshold = c.threshold;
        std = c.std;
        mean = c.mean;
        min = c.min;
        write(100, c.values);
        EXPECT_EQ(pick(), static_cast<s32>(c.want.size())) << c.what;
        EXPECT_EQ(locations(), c.want) << c.what;
        EXPECT_EQ(ring->iRead, 100 - 12) << c.what;
    }
}

TEST_F(Peaks, WindowBeforeTheFirstValueWrapsToTheRingsEnd) {
    write(30, {{3, 1.0f}});
    EXPECT_EQ(locations(), std::vector<u32>{});
    pick();
    EXPECT_EQ(locations(), std::vector<u32>{3});

    ring = makeFluxRing();
    count = 0;
    envelope = 0.0f;
    ring->rpBuff[4090] = 5.0f; // position -6
    write(30, {{3, 1.0f}});
    EXPECT_EQ(pick(), 0);
}

TEST_F(Peaks, PeakRecordsCountFromTheSongStart) {
    audioStart = 1000;
    std::vector<s32> peakTrain(1060, 0);
    train = peakTrain.data();
    trainSize = 1060;
    write(100, {{50, 37.9f}, {75, 2.5f}});
    EXPECT_EQ(pick(), 2);
    EXPECT_EQ(peaks[0].iLocation, 1050u);
    EXPECT_EQ(peaks[0].rValue, 37.9f);
    EXPECT_EQ(peakTrain[1050], 37);
    EXPECT_EQ(peaks[1].iLocation, 1075u);
    // Beyond the train's end the peak is kept in the ring only.
    EXPECT_EQ(peakTrain[1059], 0);
}

TEST_F(Peaks, WithoutATrainPeaksStillReachTheRing) {
    write(100, {{20, 4.0f}, {60, 3.0f}});
    count = static_cast<s32>(BEATTRACKER_NUM_PEAKS - 1); // the ring of peaks wraps
    EXPECT_EQ(pick(), 2);
    EXPECT_EQ(count, static_cast<s32>(BEATTRACKER_NUM_PEAKS + 1));
    EXPECT_EQ(peaks[BEATTRACKER_NUM_PEAKS - 1].iLocation, 20u);
    EXPECT_EQ(peaks[0].iLocation, 60u);
}

TEST_F(Peaks, NoSpreadExaminesNothing) {
    write(100, {{50, 1.0f}});
    std = 0.0f;
    EXPECT_EQ(pick(), 0);
    EXPECT_EQ(ring->iRead, 0);
}

TEST_F(Peaks, EnvelopeStartsFromTheValueBefore) {
    write(14, {{0, 2.0f}, {1, 1.0f}});
    ring->iRead = 1; // position 0 already examined
    EXPECT_EQ(pick(), 0);
    EXPECT_EQ(envelope, std::max(0.84f * 2.0f + 0.16f * 1.0f, 1.0f));
}

TEST_F(Peaks, FirstCallAfterTheWaitTakesTheWholeBacklog) {
    std::vector<std::pair<size_t, float>> beats;
    for (size_t p = 20; p < 4060; p += 40) beats.push_back({p, 1.0f + 0.001f * (p % 7)});
    write(4060, beats);
    EXPECT_EQ(pick(), static_cast<s32>(beats.size()));
    EXPECT_EQ(ring->iRead, 4060 - 12);
}

// Arbitrary spectra through flux, statistics and peak picking: nothing undefined, the spread
// never NaN, peak frames never before the audio start.
TEST_F(Flux, ArbitrarySpectraKeepTheStagesSound) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> kind(0, 9);
    Stats stats;
    std::vector<s_Peak> peaks(BEATTRACKER_NUM_PEAKS);
    std::vector<s32> train(3000, 0);
    s32 count = 0;
    float envelope = 0;
    for (int f = 0; f < 3000; ++f) {
        std::vector<s16> s(fftLen, 0);
        const int k = kind(rng);
        for (auto &v : s) v = static_cast<s16>(k == 0 ? 0 : (k == 1 ? 32767 : sample(rng)));
        feed(s);
        if (ring->iWrite < 200) continue;
        stats.update(ring.get());
        ASSERT_FALSE(std::isnan(stats.std));
        detectPeaks(ring.get(), 0.45f, &envelope, peaks.data(), &count, startFrame, stats.mean, stats.std,
                    stats.min, train.data(), 3000);
    }
    for (s32 i = 0; i < count && i < static_cast<s32>(BEATTRACKER_NUM_PEAKS); ++i)
        EXPECT_GE(peaks[i].iLocation, startFrame);
}

} // namespace
