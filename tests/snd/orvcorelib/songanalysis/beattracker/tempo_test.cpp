// Tempo estimation: the raw autocorrelation sums, the reinforced and weighted tempo curve,
// the search for the best and second beat interval, the confidence, and the stability gate.
#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"
#include "songanalysis/beattracker/beattracker_config.h"
#include "songanalysis/beattracker/beattracker_statics.h"
#include "songanalysis/beattracker/beattracker_tempo.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using namespace bttest;

constexpr s32 kLagMin = orv::kDeviceConfig ? 13 : 55;
constexpr s32 kLagMax = orv::kDeviceConfig ? 43 : 172;
constexpr s32 kLags = static_cast<s32>(BEATTRACKER_XCORR_SIZE);

class Tempo : public FreshProcess {};

float ringValue(s64 position) {
    return 1.0f + static_cast<float>(position % 17) * 0.25f;
}

Ring ringWith(s32 count) {
    Ring ring = makeFluxRing();
    for (s32 p = 0; p < count; ++p) {
        const float v = ringValue(p);
        circbuff_write(ring.get(), &v, 1, 0);
        ring->iRead = ring->iWrite; // keep room: the sums read by position only
    }
    return ring;
}

TEST_F(Tempo, WeightsAreThoseOfThisBuild) {
    EXPECT_EQ(btk::kLagMin, kLagMin);
    EXPECT_EQ(btk::kLagMax, kLagMax);
    const size_t peak = orv::kDeviceConfig ? 22 : 86;
    EXPECT_EQ(btk::rayleigh[static_cast<size_t>(kLagMin)], orv::kDeviceConfig ? 0.47175f : 0.36f);
    EXPECT_EQ(btk::rayleigh[static_cast<size_t>(kLagMax)], orv::kDeviceConfig ? 0.41713f : 0.31612f);
    EXPECT_EQ(*std::max_element(btk::rayleigh.begin(), btk::rayleigh.end()), btk::rayleigh[peak]);
    EXPECT_EQ(btk::rayleigh[static_cast<size_t>(kLagMin - 1)], 0.0f);
    EXPECT_EQ(btk::rayleigh[static_cast<size_t>(kLagMax + 1)], 0.0f);
}

TEST_F(Tempo, RawSumsPairTheNewestValueWithOlderOnes) {
    struct Case {
        s32 written;
        s32 firstUntouched; // lags from here on get nothing
    };
    const Case cases[] = {
        {0, 0},     {1, 0},        {kLagMin + 1, 0}, {kLagMin + 3, kLagMin + 2},
        {900, 899}, {2000, kLags}, {5000, kLags}, // the ring has wrapped
    };
    for (const Case &c : cases) {
        std::vector<float> sums(kLags, 0.0f);
        Ring ring = ringWith(c.written);
        _CalcXcorrRaw(ring.get(), sums.data());
        for (s32 lag = 0; lag < kLags; ++lag) {
            const bool paired = lag >= kLagMin && lag < c.firstUntouched;
            const float want =
                paired ? ringValue(c.written - 1) * ringValue(c.written - 1 - lag) * 0.0001f : 0.0f;
            ASSERT_EQ(sums[lag], want) << "written " << c.written << " lag " << lag;
        }
        // A frame whose value was not stored adds the same products once more.
        _CalcXcorrRaw(ring.get(), sums.data());
        if (c.firstUntouched > kLagMin) {
            const float once = ringValue(c.written - 1) * ringValue(c.written - 1 - kLagMin) * 0.0001f;
            EXPECT_EQ(sums[kLagMin], once + once);
        }
    }
}

// The coefficient with which a raw sum at lag q reaches the curve at lag l.
float reinforcement(s32 l, s32 q) {
    if (q == l) return 0.7f;
    if (q == 2 * l) return 0.2f;
    if (q == 2 * l - 1 || q == 2 * l + 1) return 0.1f;
    if (q == 4 * l) return 0.1f;
    if (q == 4 * l - 1 || q == 4 * l + 1) return 0.05f;
    return 0.0f;
}

TEST_F(Tempo, CurveIsReinforcedByDoubleAndQuadrupleThenWeighted) {
    const std::vector<s32> lags = orv::kDeviceConfig ? std::vector<s32>{20, 38, 56, 57, 87, 173}
                                                     : std::vector<s32>{60, 166, 230, 345, 689, 600};
    const u32 frames = 7000;
    for (s32 q : lags) {
        std::vector<float> raw(kLags, 0.0f);
        raw[q] = 3.0f;
        buildTempoCurve(frames, raw.data());
        const float mean = 3.0f / static_cast<float>(frames - static_cast<u32>(q));
        for (s32 l = 0; l < kLags; ++l) {
            float want = l == q ? mean : 0.0f;
            if (l >= kLagMin && l <= kLagMax)
                want = reinforcement(l, q) * mean * btk::rayleigh[static_cast<size_t>(l)];
            ASSERT_EQ(btk::xcorr[l], want) << "raw lag " << q << ", curve lag " << l;
        }
    }
}

TEST_F(Tempo, LagsNotYetReachedCountZero) {
    std::vector<float> raw(kLags, 1.0f);
    const u32 frames = static_cast<u32>(2 * (kLagMin + 2)); // a lag the reinforcement reads
    buildTempoCurve(frames, raw.data());
    for (s32 l = 0; l < kLags; ++l) {
        ASSERT_TRUE(std::isfinite(btk::xcorr[l])) << l;
        if (l >= static_cast<s32>(frames)) {
            ASSERT_EQ(btk::xcorr[l], 0.0f) << l;
        }
    }
    EXPECT_EQ(btk::xcorr[3], 1.0f / static_cast<float>(frames - 3));

    buildTempoCurve(0, raw.data());
    for (s32 l = 0; l < kLags; ++l) ASSERT_EQ(btk::xcorr[l], 0.0f) << l;
}

// Picks from a curve laid by hand (zeros elsewhere).
struct Pick {
    s32 status;
    float first, second, confidence;
};

Pick pickFrom(const std::map<s32, float> &curve, u32 frames = 100) {
    std::fill(std::begin(btk::xcorr), std::end(btk::xcorr), 0.0f);
    for (auto [lag, v] : curve) btk::xcorr[lag] = v;
    float rBI[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    btk::biConfidence = -3.0f;
    const s32 status = pickBeatIntervals(rBI, frames);
    EXPECT_EQ(rBI[2], -7.0f);
    EXPECT_EQ(rBI[3], -7.0f);
    return Pick{status, rBI[0], rBI[1], btk::biConfidence};
}

float parabola(s32 idx, float l, float p, float r) {
    return static_cast<float>(idx) + 0.5f * (l - r) / (l + r - 2.0f * p);
}

TEST_F(Tempo, PeakSearchFollowsItsRules) {
    const s32 m = (kLagMin + kLagMax) / 2;
    const float none = -7.0f;
    struct Case {
        const char *what;
        std::map<s32, float> curve;
        Pick want;
    };
    const std::vector<Case> cases = {
        {"flat", {}, {-1, none, none, -3.0f}},
        {"negative bump", {{m, -0.5f}, {m - 1, -1.0f}, {m + 1, -1.0f}}, {-1, none, none, -3.0f}},
        {"lone peak", {{m, 1.0f}}, {0, static_cast<float>(m), none, -3.0f}},
        {"equal neighbour on one side", {{m, 1.0f}, {m + 1, 1.0f}}, {-1, none, none, -3.0f}},
        {"equal peaks: lower lag first",
         {{m - 4, 1.0f}, {m + 4, 1.0f}},
         {0, static_cast<float>(m - 4), static_cast<float>(m + 4), 0.0f}},
        {"at lagMin: not searched", {{kLagMin, 1.0f}, {kLagMin + 1, 0.5f}}, {-1, none, none, -3.0f}},
        {"at lagMax: not searched", {{kLagMax, 1.0f}}, {-1, none, none, -3.0f}},
        {"just inside both ends",
         {{kLagMin + 1, 1.0f}, {kLagMax - 1, 2.0f}},
         {0, static_cast<float>(kLagMax - 1), static_cast<float>(kLagMin + 1), 0.0f}},
        {"refined by a parabola",
         {{m - 1, 0.5f}, {m, 1.0f}, {m + 1, 0.25f}},
         {0, parabola(m, 0.5f, 1.0f, 0.25f), none, -3.0f}},
        {"second peak two below",
         {{m - 2, 0.3f}, {m - 1, 0.1f}, {m, 1.0f}},
         {0, parabola(m, 0.1f, 1.0f, 0.0f), parabola(m - 2, 0.0f, 0.3f, 0.1f), 0.0f}},
        {"second peak: the stronger side",
         {{m - 5, 0.3f}, {m, 1.0f}, {m + 5, 0.4f}},
         {0, static_cast<float>(m), static_cast<float>(m + 5), 0.0f}},
        {"second peak: equal sides, lower lag",
         {{m - 5, 0.3f}, {m, 1.0f}, {m + 5, 0.3f}},
         {0, static_cast<float>(m), static_cast<float>(m - 5), 0.0f}},
    };
    for (const Case &c : cases) {
        const Pick got = pickFrom(c.curve);
        EXPECT_EQ(got.status, c.want.status) << c.what;
        EXPECT_EQ(got.first, c.want.first) << c.what;
        EXPECT_EQ(got.second, c.want.second) << c.what;
        EXPECT_EQ(got.confidence, c.want.confidence) << c.what;
        if (got.status == 0) { // an accepted estimate lies strictly inside the lag range
            EXPECT_GT(got.first, static_cast<float>(kLagMin)) << c.what;
            EXPECT_LT(got.first, static_cast<float>(kLagMax)) << c.what;
        }
    }
}

TEST_F(Tempo, ConfidenceGrowsWithTheSongPositionAfter5000Frames) {
    const s32 m = (kLagMin + kLagMax) / 2;
    struct Case {
        u32 frames;
        float want;
        float tolerance;
    };
    const Case cases[] = {
        {100, 0.0f, 0.0f},       {5000, 0.0f, 0.0f},      {5001, 1.116f, 0.001f},
        {10000, 1.213f, 0.001f}, {30000, 1.384f, 0.001f},
    };
    for (const Case &c : cases) {
        const Pick got = pickFrom({{m - 5, 0.3f}, {m, 1.0f}}, c.frames);
        EXPECT_NEAR(got.confidence, c.want, c.tolerance) << c.frames;
        if (c.frames > 5000) {
            EXPECT_EQ(got.confidence, std::pow(static_cast<float>(c.frames) * 0.0005f, 0.12f));
        }
    }
    // Without a second peak the confidence is left alone.
    EXPECT_EQ(pickFrom({{m, 1.0f}}, 30000).confidence, -3.0f);
}

TEST_F(Tempo, NoValuesGiveAFlatCurveAndNoEstimate) {
    for (s32 written : {0, 1, kLagMin, kLagMin + 2}) {
        Ring ring = ringWith(written);
        for (u32 frame = 0; frame < 50; ++frame) {
            _CalcXcorrRaw(ring.get(), btk::xcorrRaw);
            float rBI[4] = {5.0f, 6.0f, 0.0f, 0.0f};
            EXPECT_EQ(_EstimateBIFromXcorr(rBI, frame, btk::xcorrRaw), -1) << written;
            EXPECT_EQ(rBI[0], 5.0f);
            EXPECT_EQ(rBI[1], 6.0f);
        }
        beattracker_resetTempo();
    }
}

TEST_F(Tempo, ResetForANewSongClearsOnlyTheRawSums) {
    btk::xcorrRaw[100] = 1.0f;
    btk::xcorr[50] = 2.0f;
    btk::biConfidence = 1.5f;
    btk::biConfidenceCounter1 = 9;
    btk::biPre0 = 20.0f;
    beattracker_resetTempo();
    EXPECT_EQ(btk::xcorrRaw[100], 0.0f);
    EXPECT_EQ(btk::xcorr[50], 2.0f);
    EXPECT_EQ(btk::biConfidence, 1.5f);
    EXPECT_EQ(btk::biConfidenceCounter1, 9);
    EXPECT_EQ(btk::biPre0, 20.0f);
}

class Gate : public FreshProcess {
  protected:
    Tracker bt = makeTracker();
    float *candidates() { return bt->private_->rICBeatInterval; }
    // One estimating frame with the given raw estimates; returns the gated pair.
    std::pair<float, float> frame(float first, float second) {
        candidates()[0] = first;
        candidates()[1] = second;
        beattracker_gateTempo(bt.get());
        return {candidates()[0], candidates()[1]};
    }
    void SetUp() override {
        FreshProcess::SetUp();
        beattracker_setBIBound(bt.get(), 10.0f, 200.0f);
    }
};

TEST_F(Gate, EstimatesPassAfterALongStableRun) {
    for (auto mode : {USERINPUTMODE_IGNORE, USERINPUTMODE_GUIDE}) {
        beattracker_resetProcessStatics();
        beattracker_setUserInputMode(bt.get(), mode); // no user interval: the mode changes nothing
        for (int n = 1; n <= 300; ++n) {
            const auto [first, second] = frame(20.0f, 31.0f);
            EXPECT_EQ(first, n >= 129 ? 20.0f : 0.0f) << n;
            EXPECT_EQ(second, n >= 257 ? 31.0f : 0.0f) << n;
            EXPECT_EQ(bt->rBeatIntervalXcorr, 20.0f);
        }
    }
}

TEST_F(Gate, JumpOfATenthRestartsTheCount) {
    struct Case {
        float next;
        bool restarts;
    };
    const Case cases[] = {{20.125f, true}, {19.875f, true}, {20.0625f, false}, {19.9375f, false}};
    for (const Case &c : cases) {
        beattracker_resetProcessStatics();
        for (int n = 0; n < 200; ++n) frame(20.0f, 31.0f);
        const auto [first, second] = frame(c.next, 31.0f);
        EXPECT_EQ(first, c.restarts ? 0.0f : c.next) << c.next;
        EXPECT_EQ(btk::biConfidenceCounter1, c.restarts ? 0 : 200) << c.next;
        EXPECT_EQ(bt->rBeatIntervalXcorr, c.next); // published before the gate
        EXPECT_EQ(btk::biConfidenceCounter2, 200);
        for (int n = 1; n <= 128; ++n) {
            const float gated = frame(c.next, 31.0f).first;
            EXPECT_EQ(gated, c.restarts && n < 128 ? 0.0f : c.next) << c.next << " " << n;
        }
    }
}

TEST_F(Gate, UserIntervalGuidesOrOverwrites) {
    struct Case {
        beattracker_userinputmode_t mode;
        float initial;
        float first, second;
    };
    const Case cases[] = {
        {USERINPUTMODE_GUIDE, 30.0f, 30.0f, 25.0f},
        {USERINPUTMODE_OVERWRITE, 30.0f, 30.0f, 30.0f},
        {USERINPUTMODE_IGNORE, 30.0f, 25.0f, 26.0f},
        {USERINPUTMODE_OVERWRITE, 10.0f, 25.0f, 26.0f}, // equal to a bound: not taken
        {USERINPUTMODE_OVERWRITE, 200.0f, 25.0f, 26.0f},
        {USERINPUTMODE_GUIDE, 0.0f, 25.0f, 26.0f},
    };
    for (const Case &c : cases) {
        beattracker_setUserInputMode(bt.get(), c.mode);
        beattracker_setInitialBI(bt.get(), c.initial);
        // Long settled on exactly this frame's outcome, so the gate lets both through.
        btk::biConfidenceCounter1 = btk::biConfidenceCounter2 = 1000;
        btk::biPre0 = c.first;
        btk::biPre1 = c.second;
        const auto [first, second] = frame(25.0f, 26.0f);
        EXPECT_EQ(first, c.first) << c.mode << " " << c.initial;
        EXPECT_EQ(second, c.second) << c.mode << " " << c.initial;
        EXPECT_EQ(bt->rBeatIntervalXcorr, c.first);
    }
}

TEST_F(Gate, OverwrittenEstimatesPassOnceTheRunIsLongEnough) {
    beattracker_setUserInputMode(bt.get(), USERINPUTMODE_OVERWRITE);
    beattracker_setInitialBI(bt.get(), 42.5f);
    for (int n = 1; n <= 260; ++n) {
        const float wild = static_cast<float>(n % 13) * 3.0f; // the curve's own estimates jump
        const auto [first, second] = frame(wild + 20.0f, wild + 50.0f);
        EXPECT_EQ(first, n >= 129 ? 42.5f : 0.0f) << n;
        EXPECT_EQ(second, n >= 257 ? 42.5f : 0.0f) << n;
    }
}

// A steady beat at 120 BPM: one flux impulse per beat (alone, or with the slow decay the flux
// smoothing gives it), fed through the frame's tempo stages as the tracker runs them.
TEST_F(Gate, SteadyBeatAt120BpmIsFoundAndPassesTheGate) {
    const double interval = intervalOfBpm(120.0); // 86.133 or 21.533 frames
    ASSERT_NEAR(interval, orv::kDeviceConfig ? 21.533 : 86.133, 0.001);
    for (const bool decaying : {false, true}) {
        beattracker_resetProcessStatics();
        std::vector<float> flux(6000, 0.0f);
        for (double t = 10.0; t < 6000.0; t += interval) {
            float v = 1.0f;
            for (size_t i = static_cast<size_t>(t + 0.5); i < flux.size() && v > 1e-4f; ++i) {
                flux[i] = v;
                v = decaying ? v * 0.9714f : 0.0f;
            }
        }
        Ring ring = makeFluxRing();
        float *rBI = candidates();
        u32 estimates = 0;
        for (u32 frameCount = 0; frameCount < flux.size(); ++frameCount) {
            circbuff_write(ring.get(), &flux[frameCount], 1, 0);
            ring->iRead = ring->iWrite; // peak picking would consume the values
            _CalcXcorrRaw(ring.get(), btk::xcorrRaw);
            if (_EstimateBIFromXcorr(rBI, frameCount, btk::xcorrRaw) != 0) continue;
            beattracker_gateTempo(bt.get());
            ++estimates;
            if (frameCount == 5000) {
                EXPECT_EQ(btk::biConfidence, 0.0f) << decaying;
            }
            if (frameCount == 5001) {
                EXPECT_EQ(btk::biConfidence, std::pow(5001.0f * 0.0005f, 0.12f)) << decaying;
            }
            if (frameCount > 2000) {
                ASSERT_NEAR(bt->rBeatIntervalXcorr, interval, 0.2) << frameCount << " " << decaying;
            }
        }
        EXPECT_GT(estimates, 5900u) << decaying;
        EXPECT_NEAR(bt->rBeatIntervalXcorr, interval, 0.2) << decaying;
        EXPECT_EQ(rBI[0], bt->rBeatIntervalXcorr) << decaying; // stable: handed to the agents
        EXPECT_NEAR(rBI[1], 1.5 * interval, 1.0) << decaying;  // and the beat and a half
        EXPECT_EQ(btk::biConfidence, std::pow(5999.0f * 0.0005f, 0.12f)) << decaying;
    }
}

} // namespace
