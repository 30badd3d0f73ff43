// Coefficient designs of both topologies against double-precision references, and the designs
// that cannot be represented.
#include "biquad/biquad.h"
#include "biquad/biquad_kernels.h"
#include "biquad/q27calc.h"
#include "snd/orvcorelib/biquad/biquad_reference.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

namespace {

using biquadtest::Design;
using biquadtest::Rational;

double real(coef_t word) {
    return word / 134217728.0;
}

// Designs across the parameter ranges, including the clamps' corners: low and high corners,
// narrow and wide Q, deep cuts and the largest boosts.
std::vector<Design> designsOf(biquad_type type) {
    std::vector<Design> out;
    for (double fs : {44100.0, 48000.0})
        for (double fc : {20.0, 440.0, 1000.0, 9000.0, 20000.0})
            for (double Q : {0.1, 0.7071, 10.0})
                for (double gain : {-40.0, -6.0, 6.0, 15.0, 18.0}) out.push_back({type, fc, Q, gain, fs});
    return out;
}

TEST(BiquadDesign, DirectFormMatchesReference) {
    for (s32 t = 0; t < BIQUAD_TYPE_COUNT; ++t) {
        const auto type = static_cast<biquad_type>(t);
        for (const Design &d : designsOf(type)) {
            if (type == BIQUAD_TYPE_LPF2R || type == BIQUAD_TYPE_HPF2R) {
                if (d.gain < -2.0) continue; // below the resonant types' floor
            }
            SCOPED_TRACE(::testing::Message() << "type " << t << " fc " << d.fc << " Q " << d.Q << " gain "
                                              << d.gain << " fs " << d.fs);
            df1_coef c{};
            ASSERT_TRUE(orv::biquadDesignDF1(float(d.fc), float(d.Q), float(d.gain), u32(d.fs), type, &c));
            const Rational r = biquadtest::referenceDF1(d);
            const std::array<double, 5> got{real(c.b0), real(c.b1), real(c.b2), -real(c.a1), -real(c.a2)};
            const std::array<double, 5> want{r.b0, r.b1, r.b2, r.a1, r.a2};
            for (int i = 0; i < 5; ++i) {
                const double err = std::fabs(got[i] - want[i]);
                EXPECT_LT(err, 2e-6 * std::max(1.0, std::fabs(want[i])))
                    << "coefficient " << i << ": " << got[i] << " vs " << want[i];
            }
        }
    }
}

// High shelves above about +12 dB have raw numerator terms beyond the +-16 of a coefficient
// word (here 2 A ((A - 1) + (A + 1) cos w0) is about 22); the design still comes out exact.
TEST(BiquadDesign, HighShelfBoostKeepsWideIntermediates) {
    const Design d{BIQUAD_TYPE_HSF2, 1000.0, 0.7071, 15.0, 44100.0};
    const double A = std::pow(10.0, d.gain / 40.0);
    const double cosw0 = std::cos(2 * std::numbers::pi * d.fc / d.fs);
    ASSERT_GT(2 * A * ((A - 1) + (A + 1) * cosw0), 16.0);
    df1_coef c{};
    ASSERT_TRUE(orv::biquadDesignDF1(1000.0f, 0.7071f, 15.0f, 44100, BIQUAD_TYPE_HSF2, &c));
    const Rational r = biquadtest::referenceDF1(d);
    EXPECT_NEAR(real(c.b0), r.b0, 2e-6);
    EXPECT_NEAR(real(c.b1), r.b1, 2e-5);
    EXPECT_NEAR(real(c.b2), r.b2, 2e-6);
    EXPECT_NEAR(-real(c.a1), r.a1, 2e-6);
    EXPECT_NEAR(-real(c.a2), r.a2, 2e-6);
}

// Lattice coefficients: reflection coefficients and complements, ladder taps of the direct-form
// design, and the mixing gain.
TEST(BiquadDesign, LatticeMatchesReference) {
    for (s32 t = 0; t <= BIQUAD_TYPE_LSF2; ++t) {
        const auto type = static_cast<biquad_type>(t);
        for (double fc : {440.0, 1000.0, 9000.0})
            for (double Q : {0.7071, 2.0})
                for (double gain : {-6.0, 6.0}) {
                    const Design d{type, fc, Q, gain, 44100.0};
                    SCOPED_TRACE(::testing::Message()
                                 << "type " << t << " fc " << fc << " Q " << Q << " gain " << gain);
                    biquad_coef coef{};
                    ASSERT_TRUE(orv::_calcCoef_NL(float(fc), float(Q), float(gain), 44100, type, &coef));
                    const nl_coef &c = coef.nl;
                    const double w0 = 2 * std::numbers::pi * fc / d.fs;
                    const bool unmixed =
                        type == BIQUAD_TYPE_LPF1 || type == BIQUAD_TYPE_HPF1 || type == BIQUAD_TYPE_AP1;
                    EXPECT_NEAR(real(c.g), unmixed ? 0.0 : std::pow(10.0, gain / 20.0), 1e-6);
                    std::vector<std::pair<coef_t, double>> expect;
                    if (type == BIQUAD_TYPE_LPF1 || type == BIQUAD_TYPE_HPF1 || type == BIQUAD_TYPE_AP1 ||
                        type == BIQUAD_TYPE_HSF1 || type == BIQUAD_TYPE_LSF1) {
                        const double k1 = (std::tan(w0 / 2) - 1) / (std::tan(w0 / 2) + 1);
                        expect = {{c.k1, k1}, {c.c1, std::sqrt(1 - k1 * k1)}};
                    } else if (type == BIQUAD_TYPE_AP2 || type == BIQUAD_TYPE_PKF) {
                        const double alpha = std::sin(w0) / (2 * Q);
                        const double G = std::pow(10.0, gain / 20.0);
                        const double k2 = type == BIQUAD_TYPE_AP2 ? (1 - alpha) / (1 + alpha)
                                                                  : G * (1 - alpha * G) / (G + alpha);
                        expect = {{c.k1, -std::cos(w0)},
                                  {c.c1, std::sin(w0)},
                                  {c.k2, k2},
                                  {c.c2, std::sqrt(1 - k2 * k2)}};
                    } else {
                        const Rational r = biquadtest::referenceDF1(d);
                        const double k1 = r.a1 / (1 + r.a2), k2 = r.a2;
                        const double c1 = std::sqrt(1 - k1 * k1), c2 = std::sqrt(1 - k2 * k2);
                        const double v1 = (r.b1 - r.b2 * r.a1) / c2;
                        const double v0 =
                            (r.b0 - r.b2 * r.a2 - r.a1 * (r.b1 - r.b2 * r.a1) / (1 + r.a2)) / (c1 * c2);
                        expect = {{c.k1, k1}, {c.k2, k2}, {c.c1, c1},  {c.c2, c2},
                                  {c.v0, v0}, {c.v1, v1}, {c.v2, r.b2}};
                    }
                    for (std::size_t i = 0; i < expect.size(); ++i)
                        EXPECT_NEAR(real(expect[i].first), expect[i].second,
                                    1e-5 * std::max(1.0, std::fabs(expect[i].second)))
                            << "value " << i;
                }
    }
}

// Corners beyond half the sample rate can put a design's denominator at or near zero: a0 = 0
// exactly for these second-order designs at 6000 Hz of 8000, normalised coefficients far
// beyond +-16 at 5990 Hz. Such designs are refused.
TEST(BiquadDesign, UnrepresentableDesignsAreRefused) {
    struct Case {
        biquad_type type;
        float fc, Q, gain;
        u32 fs;
    };
    constexpr std::array<Case, 9> cases{{
        {BIQUAD_TYPE_BPF, 6000.0f, 0.5f, 0.0f, 8000},
        {BIQUAD_TYPE_LPF2, 6000.0f, 0.5f, 0.0f, 8000},
        {BIQUAD_TYPE_HPF2, 6000.0f, 0.5f, 0.0f, 8000},
        {BIQUAD_TYPE_LPF2, 5990.0f, 0.5f, 0.0f, 8000},
        {BIQUAD_TYPE_LPF2R, 6000.0f, 1.0f, -2.0f, 8000},
        {BIQUAD_TYPE_LPF2, 1000.0f, 1.0f, 0.0f, 0},
        {BIQUAD_TYPE_LPF1, 1000.0f, 1.0f, 0.0f, 0},
        {BIQUAD_TYPE_AP1, 1000.0f, 1.0f, 0.0f, 0},
        {BIQUAD_TYPE_HPF2R, 1000.0f, 1.0f, 0.0f, 0},
    }};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " fc " << c.fc << " fs " << c.fs);
        const df1_coef untouched{1, 2, 3, 4, 5};
        df1_coef out = untouched;
        EXPECT_FALSE(orv::biquadDesignDF1(c.fc, c.Q, c.gain, c.fs, c.type, &out));
        EXPECT_EQ(out.b0, 1);
        EXPECT_EQ(out.a2, 5);
    }
    // The same corners are fine at a sample rate that holds them.
    df1_coef out{};
    EXPECT_TRUE(orv::biquadDesignDF1(6000.0f, 0.5f, 0.0f, 44100, BIQUAD_TYPE_LPF2, &out));
}

// A section keeps its coefficients and the values they were made from when a change cannot be
// designed, and filters on as before.
TEST(BiquadDesign, SectionKeepsItsFilterWhenAChangeIsRefused) {
    constexpr u32 kFrames = 16;
    std::vector<audio24> in(2 * kFrames);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<audio24>((i * 7919) % 40000) - 20000;
    biquad *kept = biquad_new(kFrames, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, 8000);
    biquad *plain = biquad_new(kFrames, BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2, 8000);
    std::vector<audio24> a(in.size()), b(in.size());
    for (biquad *s : {kept, plain}) {
        biquad_setParam(s, BIQUAD_PARAM_FC, 1000.0f);
        biquad_process(s, in.data(), a.data());
    }
    const df1_coef before = kept->coef.df1;
    biquad_setParam(kept, BIQUAD_PARAM_FC, 6000.0f);
    biquad_setParam(kept, BIQUAD_PARAM_Q, 0.5f);
    biquad_process(kept, in.data(), a.data());
    biquad_process(plain, in.data(), b.data());
    EXPECT_EQ(a, b);
    EXPECT_EQ(kept->coef.df1.b0, before.b0);
    EXPECT_EQ(kept->coef.df1.a1, before.a1);
    EXPECT_EQ(kept->fc, 1000.0f);
    EXPECT_EQ(kept->Q, 1.0f);
    EXPECT_EQ(kept->fc_, 6000.0f);
    EXPECT_EQ(kept->changeFlag, 0u);
    biquad_destroy(kept);
    biquad_destroy(plain);
}

TEST(BiquadDesign, CheckedArithmeticRejectsWhatItCannotHold) {
    using orv::Q27Calc;
    struct Case {
        const char *what;
        void (*run)(Q27Calc &);
    };
    const std::array<Case, 9> rejected{{
        {"NaN", [](Q27Calc &m) { m.trunc(std::numeric_limits<double>::quiet_NaN()); }},
        {"infinity", [](Q27Calc &m) { m.trunc(-std::numeric_limits<double>::infinity()); }},
        {"2^40", [](Q27Calc &m) { m.trunc(0x1p40); }},
        {"product beyond 64 bits", [](Q27Calc &m) { m.mul(s64{1} << 40, s64{1} << 30); }},
        {"upscale beyond 64 bits", [](Q27Calc &m) { m.upscale(s64{1} << 37); }},
        {"zero divisor", [](Q27Calc &m) { m.div(5, 0); }},
        {"quotient beyond 64 bits", [](Q27Calc &m) { m.div(std::numeric_limits<s64>::min(), -1); }},
        {"normalised 16.0", [](Q27Calc &m) { m.normalise(s64{16} << 27, s64{1} << 27); }},
        {"coefficient -16.5", [](Q27Calc &m) { m.toCoef(-16.5); }},
    }};
    for (const auto &c : rejected) {
        Q27Calc m;
        c.run(m);
        EXPECT_FALSE(m.ok()) << c.what;
    }
    Q27Calc m;
    EXPECT_EQ(m.trunc(-2.9), -2);
    EXPECT_EQ(m.mul(3 << 26, -(1 << 28)), -(s64{3} << 27));
    EXPECT_EQ(m.mul(-1, 1), -1) << "floor";
    EXPECT_EQ(m.div(-7, 2), -3) << "toward zero";
    EXPECT_EQ(m.normalise(-(s64{1} << 27), s64{3} << 27), -44739242);
    EXPECT_EQ(m.toCoef(-16.0), std::numeric_limits<s32>::min());
    EXPECT_TRUE(m.ok());
}

} // namespace
