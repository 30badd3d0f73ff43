// The three-band equaliser: MIDI values to gains, how each band's section follows its gain, the
// chain of bands that are not flat, and state handling across updates.
#include "eq/djequalizer.h"
#include "snd/orvcorelib/biquad/biquad_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr u32 kFrames = 64;
constexpr u32 kFs = 44100;

struct EqDeleter {
    void operator()(djequalizer *eq) const { djequalizer_destroy(eq); }
};
using Equaliser = std::unique_ptr<djequalizer, EqDeleter>;

Equaliser makeEq(u32 frameSize = kFrames) {
    return Equaliser(djequalizer_new(frameSize, kFs));
}

std::vector<audio24> noise(u32 seed, std::size_t values = 2 * kFrames) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<s32> dist(-(1 << 23), (1 << 23) - 1);
    std::vector<audio24> v(values);
    for (auto &x : v) x = dist(rng);
    return v;
}

// The gain in dB a MIDI value stands for, computed independently in double precision.
double midiDb(s32 value) {
    double x = value / 64.0;
    if (x > 1) x *= x;
    return 20.0 * std::log10(std::max(x, 0.01));
}

TEST(DjEqualizerNew, BuildsThreeFlatBands) {
    EXPECT_EQ(djequalizer_new(12, kFs), nullptr);
    Equaliser eq = makeEq(128);
    ASSERT_NE(eq, nullptr);
    EXPECT_EQ(eq->frameSize, 128u);
    EXPECT_EQ(eq->sampleRate, kFs);
    EXPECT_NE(eq->buffer, nullptr);
    EXPECT_EQ(eq->flagsChanged, 0u);
    const std::array<biquad_type, 3> types{BIQUAD_TYPE_LSF2, BIQUAD_TYPE_PKF, BIQUAD_TYPE_HSF2};
    const std::array<float, 3> corners{300.0f, 1000.0f, 4000.0f};
    for (int band = 0; band < 3; ++band) {
        SCOPED_TRACE(band);
        const biquad *b = eq->biquad[band];
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->topo, BIQUAD_TOPO_DF1);
        EXPECT_EQ(b->type, types[band]);
        EXPECT_EQ(b->frameSize, 128u);
        EXPECT_EQ(b->sampleRate, kFs);
        EXPECT_EQ(b->fc_, corners[band]);
        EXPECT_EQ(b->gain_, 0.0f);
        EXPECT_EQ(eq->dBgain[band], 0.0f);
        EXPECT_EQ(eq->next_dBgain[band], 0.0f);
    }
    EXPECT_EQ(eq->biquad[DJEQ_BAND_MID]->Q_, 0.33333334f);
    EXPECT_EQ(djequalizer_destroy(nullptr), nullptr);
}

TEST(DjEqualizerSetParam, MidiValuesToPendingGains) {
    struct Case {
        s32 value;
        double db;
    };
    constexpr std::array<Case, 8> cases{{
        {0, -40.0},
        {-5, -40.0},
        {1, -36.12},
        {32, -6.02},
        {64, 0.0},
        {80, 3.88},
        {96, 7.04},
        {127, 11.90},
    }};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        Equaliser eq = makeEq();
        EXPECT_EQ(djequalizer_setParam(eq.get(), DJEQ_BAND_MID, c.value), 1);
        EXPECT_NEAR(eq->next_dBgain[DJEQ_BAND_MID], midiDb(c.value), 1e-4);
        EXPECT_NEAR(eq->next_dBgain[DJEQ_BAND_MID], c.db, 0.01);
        EXPECT_EQ(eq->flagsChanged, c.value == 64 ? 0u : 2u);
    }
    Equaliser eq = makeEq();
    djequalizer_setParam(eq.get(), DJEQ_BAND_HIGH, 96);
    const float pending = eq->next_dBgain[DJEQ_BAND_HIGH];
    EXPECT_EQ(djequalizer_setParam(eq.get(), DJEQ_BAND_HIGH, 200), 1);
    EXPECT_EQ(djequalizer_setParam(eq.get(), DJEQ_BAND_HIGH, 128), 1);
    EXPECT_EQ(eq->next_dBgain[DJEQ_BAND_HIGH], pending);
    EXPECT_EQ(djequalizer_setParam(eq.get(), DJEQ_BAND_COUNT, 10), 0);
    EXPECT_EQ(djequalizer_setParam(eq.get(), static_cast<djeq_band>(-1), 10), 0);
    EXPECT_EQ(djequalizer_setParam(nullptr, DJEQ_BAND_LOW, 10), -1);
    EXPECT_EQ(eq->flagsChanged, 4u);
    EXPECT_EQ(djequalizer_setParam(eq.get(), DJEQ_BAND_LOW, 64), 1);
    EXPECT_EQ(eq->flagsChanged, 4u) << "a flat low band equals the gain in use";
}

// All controls at 64 leave the chain empty: the output is the input bit for bit, also after
// the controls have been elsewhere and came back.
TEST(DjEqualizerProcess, FlatIsAPassThrough) {
    Equaliser eq = makeEq();
    const std::vector<audio24> in = noise(1);
    std::vector<audio24> out(in.size());
    djequalizer_process(eq.get(), in.data(), out.data());
    EXPECT_EQ(out, in);
    for (s32 band = 0; band < 3; ++band)
        djequalizer_setParam(eq.get(), static_cast<djeq_band>(band), 20 + 40 * band);
    djequalizer_process(eq.get(), in.data(), out.data());
    EXPECT_NE(out, in);
    for (s32 band = 0; band < 3; ++band) djequalizer_setParam(eq.get(), static_cast<djeq_band>(band), 64);
    djequalizer_process(eq.get(), in.data(), out.data());
    EXPECT_EQ(out, in);
    std::vector<audio24> inPlace = in;
    djequalizer_process(eq.get(), inPlace.data(), inPlace.data());
    EXPECT_EQ(inPlace, in);
    djequalizer_process(eq.get(), nullptr, out.data());
    djequalizer_process(nullptr, in.data(), out.data());
}

// Corner, width and gain of each band's section for cuts and boosts.
TEST(DjEqualizerProcess, BandsFollowTheirGain) {
    for (s32 value : {0, 16, 50, 63, 65, 96, 127}) {
        SCOPED_TRACE(value);
        Equaliser eq = makeEq();
        for (s32 band = 0; band < 3; ++band)
            djequalizer_setParam(eq.get(), static_cast<djeq_band>(band), value);
        std::vector<audio24> block(2 * kFrames, 0);
        djequalizer_process(eq.get(), block.data(), block.data());
        const double G = midiDb(value);
        const biquad *low = eq->biquad[DJEQ_BAND_LOW], *mid = eq->biquad[DJEQ_BAND_MID],
                     *high = eq->biquad[DJEQ_BAND_HIGH];
        for (const biquad *b : {low, mid, high}) EXPECT_NEAR(b->gain, G, 1e-4);
        EXPECT_NEAR(low->fc, G >= 0 ? 300.0 : 200.0 - 0.08 * G * G, 1e-3);
        EXPECT_NEAR(mid->fc, 1000.0, 1e-9);
        EXPECT_NEAR(mid->Q, G >= 0 ? 1.0 / 3.0 : std::clamp(-0.25 * G, 0.1, 10.0), 1e-5);
        EXPECT_NEAR(high->fc, G >= 0 ? 4000.0 : 3000.0 + 6.0 * G * G, 1e-2);
        EXPECT_FLOAT_EQ(low->Q, 1.0f);
        EXPECT_FLOAT_EQ(high->Q, 1.0f);
    }
}

// The bands that are not flat run in the order low, mid, high, each on the previous result:
// the same as the sections chained by hand.
TEST(DjEqualizerProcess, ChainsTheBandsThatAreNotFlat) {
    struct Case {
        std::array<s32, 3> values;
    };
    constexpr std::array<Case, 5> cases{
        {{{100, 64, 64}}, {{64, 20, 64}}, {{64, 64, 110}}, {{64, 30, 90}}, {{5, 120, 40}}}};
    const std::array<biquad_type, 3> types{BIQUAD_TYPE_LSF2, BIQUAD_TYPE_PKF, BIQUAD_TYPE_HSF2};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.values[0] << " " << c.values[1] << " " << c.values[2]);
        Equaliser eq = makeEq();
        for (s32 band = 0; band < 3; ++band)
            djequalizer_setParam(eq.get(), static_cast<djeq_band>(band), c.values[band]);
        std::array<biquad *, 3> byHand{};
        for (s32 band = 0; band < 3; ++band) {
            byHand[band] = biquad_new(kFrames, BIQUAD_TOPO_DF1, types[band], kFs);
            const double G = midiDb(c.values[band]);
            biquad_setParam(byHand[band], BIQUAD_PARAM_GAIN, eq->next_dBgain[band]);
            const float corner = band == 0   ? (G >= 0 ? 300.0f : 200.0f - 0.08f * float(G * G))
                                 : band == 1 ? 1000.0f
                                             : (G >= 0 ? 4000.0f : 3000.0f + 6.0f * float(G * G));
            biquad_setParam(byHand[band], BIQUAD_PARAM_FC, corner);
            if (band == 1)
                biquad_setParam(byHand[band], BIQUAD_PARAM_Q, G >= 0 ? 0.33333334f : -0.25f * float(G));
        }
        for (u32 seed = 10; seed < 13; ++seed) {
            const std::vector<audio24> in = noise(seed);
            std::vector<audio24> out(in.size()), expected = in;
            djequalizer_process(eq.get(), in.data(), out.data());
            for (s32 band = 0; band < 3; ++band)
                if (c.values[band] != 64) biquad_process(byHand[band], expected.data(), expected.data());
            ASSERT_EQ(out, expected) << "block " << seed;
        }
        for (biquad *b : byHand) biquad_destroy(b);
    }
}

// Moving the mid control neither resets nor runs the flat bands: a high band brought back to
// flat keeps its state untouched, and the low band that never ran keeps a clear state.
TEST(DjEqualizerProcess, MovingTheMidLeavesTheFlatBandsAlone) {
    Equaliser eq = makeEq();
    djequalizer_setParam(eq.get(), DJEQ_BAND_HIGH, 100);
    std::vector<audio24> in = noise(2), out(in.size());
    djequalizer_process(eq.get(), in.data(), out.data());
    djequalizer_setParam(eq.get(), DJEQ_BAND_HIGH, 64);
    djequalizer_process(eq.get(), in.data(), out.data());
    std::array<audio24, 8> highState;
    std::copy(std::begin(eq->biquad[DJEQ_BAND_HIGH]->d), std::end(eq->biquad[DJEQ_BAND_HIGH]->d),
              highState.begin());
    ASSERT_TRUE(std::any_of(highState.begin(), highState.end(), [](audio24 w) { return w != 0; }));
    for (s32 value : {90, 30, 64, 127}) {
        djequalizer_setParam(eq.get(), DJEQ_BAND_MID, value);
        in = noise(3 + value);
        djequalizer_process(eq.get(), in.data(), out.data());
        EXPECT_TRUE(
            std::equal(highState.begin(), highState.end(), std::begin(eq->biquad[DJEQ_BAND_HIGH]->d)));
        for (audio24 w : eq->biquad[DJEQ_BAND_LOW]->d) EXPECT_EQ(w, 0);
    }
}

// Every update of the low band starts its section from a clear state, even a change of gain
// alone; the first block after it equals a fresh section's output.
TEST(DjEqualizerProcess, LowBandUpdatesClearItsState) {
    Equaliser eq = makeEq();
    djequalizer_setParam(eq.get(), DJEQ_BAND_LOW, 110);
    std::vector<audio24> in = noise(4), out(in.size());
    djequalizer_process(eq.get(), in.data(), out.data());
    djequalizer_setParam(eq.get(), DJEQ_BAND_LOW, 120);
    in = noise(5);
    djequalizer_process(eq.get(), in.data(), out.data());

    biquad *fresh = biquad_new(kFrames, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LSF2, kFs);
    biquad_setParam(fresh, BIQUAD_PARAM_GAIN, eq->dBgain[DJEQ_BAND_LOW]);
    biquad_setParam(fresh, BIQUAD_PARAM_FC, 300.0f);
    std::vector<audio24> expected(in.size());
    biquad_process(fresh, in.data(), expected.data());
    EXPECT_EQ(out, expected);

    djequalizer_setParam(eq.get(), DJEQ_BAND_LOW, 64);
    djequalizer_process(eq.get(), in.data(), out.data());
    for (audio24 w : eq->biquad[DJEQ_BAND_LOW]->d) EXPECT_EQ(w, 0);
    biquad_destroy(fresh);
}

// Measured on sines: a full mid boost lifts 1 kHz by about 11.9 dB, a full low cut takes the
// bass down by about 40 dB, each as its section's design says.
TEST(DjEqualizerProcess, MeasuredResponse) {
    struct Case {
        std::array<s32, 3> values;
        double freq;
        biquadtest::Design band; // the one band that is not flat
        double anchorDb;         // the value the band is meant to have there, or kNoAnchor
    };
    constexpr double kNoAnchor = std::numeric_limits<double>::quiet_NaN();
    const std::array<Case, 5> cases{{
        {{64, 127, 64}, 1000.0, {BIQUAD_TYPE_PKF, 1000.0, 1.0 / 3.0, midiDb(127), kFs}, 11.9},
        {{64, 127, 64}, 100.0, {BIQUAD_TYPE_PKF, 1000.0, 1.0 / 3.0, midiDb(127), kFs}, kNoAnchor},
        {{0, 64, 64}, 30.0, {BIQUAD_TYPE_LSF2, 72.0, 1.0, -40.0, kFs}, kNoAnchor},
        {{0, 64, 64}, 5.0, {BIQUAD_TYPE_LSF2, 72.0, 1.0, -40.0, kFs}, -40.2}, // Q 1 dips just past the cut
        {{64, 64, 0}, 18000.0, {BIQUAD_TYPE_HSF2, 12600.0, 1.0, -40.0, kFs}, kNoAnchor},
    }};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.values[0] << " " << c.values[1] << " " << c.values[2] << " at " << c.freq);
        Equaliser eq = makeEq(128);
        for (s32 band = 0; band < 3; ++band)
            djequalizer_setParam(eq.get(), static_cast<djeq_band>(band), c.values[band]);
        const double measured = biquadtest::measureGainDb(
            [&eq](const audio24 *in, audio24 *out) { djequalizer_process(eq.get(), in, out); }, 128, kFs,
            c.freq);
        const double designed = biquadtest::referenceDF1(c.band).gainDb(c.freq, kFs);
        EXPECT_NEAR(measured, designed, designed > -20.0 ? 0.2 : 1.0);
        if (!std::isnan(c.anchorDb)) {
            EXPECT_NEAR(designed, c.anchorDb, 0.1);
        }
    }
}

} // namespace
