// Frequency responses of the integer sections, measured on sines at 44100 Hz, against the
// double-precision designs, with the textbook values where a design has one (-3 dB at the corner
// of Butterworth sections, the full gain of peaks and shelves).
#include "biquad/biquad.h"
#include "snd/orvcorelib/biquad/biquad_reference.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

using biquadtest::Design;

constexpr double kFs = 44100.0;
constexpr double kNoAnchor = std::numeric_limits<double>::quiet_NaN();

struct ResponseCase {
    biquad_topo topo;
    Design design;
    double freq;
    double anchorDb; // the value the design is meant to have there, or kNoAnchor
};

constexpr Design design(biquad_type type, double fc, double Q, double gain) {
    return {type, fc, Q, gain, kFs};
}

constexpr std::array<ResponseCase, 46> kCases{{
    // Second-order low- and high-pass, Butterworth.
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2, 1000, 0.7071, 0), 100, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2, 1000, 0.7071, 0), 1000, -3.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2, 1000, 0.7071, 0), 10000, -43.3},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF2, 1000, 0.7071, 0), 1000, -3.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF2, 1000, 0.7071, 0), 10000, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF2, 1000, 0.7071, 0), 100, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2, 5000, 4.0, 0), 5000, 12.04},
    // Band-pass, 0 dB at the centre.
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_BPF, 1000, 2.0, 0), 1000, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_BPF, 1000, 2.0, 0), 200, kNoAnchor},
    // Peaks and shelves, boost and cut.
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_PKF, 1000, 1.0, 6), 1000, 6.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_PKF, 1000, 1.0, 6), 100, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_PKF, 1000, 1.0, 6), 12000, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_PKF, 3000, 0.5, -18), 3000, -18.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HSF2, 1000, 0.7071, 15), 100, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HSF2, 1000, 0.7071, 15), 1000, 7.5},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HSF2, 1000, 0.7071, 15), 15000, 15.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HSF2, 300, 0.7071, 18), 15000, 18.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LSF2, 300, 0.7071, 15), 30, 15.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LSF2, 300, 0.7071, 15), 10000, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LSF2, 300, 0.7071, -12), 300, -6.0},
    // First-order sections and allpasses.
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF1, 1000, 1.0, 0), 1000, -3.01},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF1, 1000, 1.0, 0), 10000, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF1, 1000, 1.0, 0), 1000, -3.01},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF1, 1000, 1.0, 0), 100, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_AP1, 2000, 1.0, 0), 500, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_AP2, 2000, 1.0, 0), 2000, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_AP2, 2000, 1.0, 0), 9000, 0.0},
    // Resonant pair: Butterworth at 0 dB, a resonance peak above.
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2R, 2000, 1.0, 0), 2000, -3.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2R, 2000, 1.0, 6), 2000, kNoAnchor},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_LPF2R, 2000, 1.0, 6), 200, 0.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF2R, 2000, 1.0, 0), 2000, -3.0},
    {BIQUAD_TOPO_DF1, design(BIQUAD_TYPE_HPF2R, 2000, 1.0, 0), 15000, 0.0},
    // The lattice topology: the same designs, and its own first-order shelves and mixed forms.
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_LPF2, 1000, 0.7071, 0), 100, 0.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_LPF2, 1000, 0.7071, 0), 1000, -3.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_HPF2, 2000, 0.7071, 0), 2000, -3.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_BPF, 1000, 2.0, 0), 1000, 0.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_HSF2, 1000, 0.7071, 12), 15000, 12.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_LSF2, 300, 0.7071, -12), 30, -12.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_PKF, 1000, 1.0, 6), 1000, 6.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_PKF, 1000, 1.0, 6), 5000, kNoAnchor},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_LPF1, 1000, 1.0, 0), 1000, -3.01},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_HPF1, 1000, 1.0, 0), 1000, -3.01},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_HSF1, 2000, 1.0, 6), 18000, kNoAnchor},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_LSF1, 2000, 1.0, 6), 50, 6.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_AP1, 2000, 1.0, 0), 3000, 0.0},
    {BIQUAD_TOPO_NL, design(BIQUAD_TYPE_AP2, 2000, 1.0, 0), 2000, 0.0},
}};

TEST(BiquadResponse, MeasuredMatchesDesign) {
    for (const auto &c : kCases) {
        const Design &d = c.design;
        SCOPED_TRACE(::testing::Message() << "topo " << c.topo << " type " << d.type << " fc " << d.fc
                                          << " Q " << d.Q << " gain " << d.gain << " at " << c.freq << " Hz");
        const double measured = biquadtest::measureSectionDb(c.topo, d, c.freq);
        const double designed = biquadtest::reference(c.topo, d).gainDb(c.freq, d.fs);
        // Deep in a stop band the 24-bit signal's own resolution shows.
        const double tolerance = designed > -20.0 ? 0.2 : 1.0;
        EXPECT_NEAR(measured, designed, tolerance);
        if (!std::isnan(c.anchorDb)) {
            EXPECT_NEAR(designed, c.anchorDb, 0.1) << "the design itself";
        }
    }
}

// A high shelf boosting 15 dB from a low corner has raw coefficient terms beyond 16; a full-scale
// 16-bit signal through it stays bounded and keeps its shape.
TEST(BiquadResponse, HighShelfBoostStaysStable) {
    const Design d = design(BIQUAD_TYPE_HSF2, 200, 0.7071, 15);
    for (double freq : {20.0, 200.0, 2000.0, 19000.0}) {
        const double measured = biquadtest::measureSectionDb(BIQUAD_TOPO_DF1, d, freq, 32767.0 * 256);
        EXPECT_NEAR(measured, biquadtest::referenceDF1(d).gainDb(freq, kFs), 0.2) << freq << " Hz";
    }
}

} // namespace
