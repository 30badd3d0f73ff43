// Sines through every pair and quality: the frequency and level survive, the frame count
// follows the rate ratio, and what lies in a decimating filter's stopband does not alias
// back in.
#include "srconv/srconv.h"
#include "srconv_table_design.h"
#include "srconv_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace srconvtest;

namespace {

const SrconvTableDesign &designOf(const PolyphaseFir *fir) {
    for (const SrconvTableDesign &d : kSrconvTableDesigns)
        if (d.fir == fir) return d;
    ADD_FAILURE() << "no design record";
    return kSrconvTableDesigns[0];
}

struct Converted {
    std::vector<audio16> out;
    double outCycles; // the input sine's frequency in cycles per output frame
    size_t settle;    // output frames that still see the zero history
};

Converted convertSine(srconv_struct *s, size_t frames, double inCycles, double amplitude) {
    const std::vector<audio16> in = sine(frames, inCycles, amplitude);
    Converted c;
    c.out = convertInBlocksOf(s, in, 250);
    // Each output advances step / 4096 input frames, so that is the output frequency.
    c.outCycles = inCycles * s->srconvHandle->step / 4096.0;
    c.settle = size_t(4 * s->srconvHandle->polyphaseFir->numTaps * 4096.0 / s->srconvHandle->step) + 4;
    return c;
}

// The output window after the start-up, cut to a whole number of cycles.
std::span<const audio16> steadyPart(const Converted &c) {
    const size_t avail = c.out.size() - c.settle;
    const size_t whole = size_t(std::floor(double(avail) * c.outCycles) / c.outCycles);
    return {c.out.data() + c.settle, whole};
}

TEST(SrconvSine, FrequencyLevelAndLengthSurvive) {
    constexpr double kAmplitude = 16000;
    for (const Pair &p : kPairs) {
        for (srconv_quality q : kQualities) {
            Converter s = makeConverter(p.in, p.out, 1, 256, q);
            ASSERT_NE(s, nullptr);
            const SrconvTableDesign &d = designOf(&p.set[q]);
            // Well inside the band the table keeps within 0.1 dB, capped at 5 kHz.
            const double hz = std::min(0.5 * d.passbandEdge * p.in, 5000.0);
            const size_t frames = p.in; // one second
            const Converted c = convertSine(s.get(), frames, hz / p.in, kAmplitude);
            const std::string what = describe(p.in, p.out, q) + " at " + std::to_string(hz) + " Hz";

            const double expectedFrames = double(frames) * p.out / p.in;
            EXPECT_NEAR(double(c.out.size()), expectedFrames,
                        0.0005 * expectedFrames + double(p.out) / p.in + 2)
                << what;

            const SineFit fit = fitSine(steadyPart(c), c.outCycles);
            EXPECT_NEAR(20 * std::log10(fit.amplitude / kAmplitude), 0.0, 0.1) << what;
            EXPECT_LT(fit.residualDb, -25.0) << what;
            const double cycles = double(steadyPart(c).size()) * c.outCycles;
            EXPECT_NEAR(double(fit.zeroCrossings), 2 * cycles, 2.0) << what;
        }
    }
}

TEST(SrconvSine, DecimatingStopbandsKeepAliasesOut) {
    constexpr double kAmplitude = 30000;
    int checked = 0;
    for (const Pair &p : kPairs) {
        if (p.out >= p.in) continue;
        for (srconv_quality q : kQualities) {
            const SrconvTableDesign &d = designOf(&p.set[q]);
            // A tone between the stopband's start and the input's Nyquist frequency.
            if (d.fixedRow || d.stopbandEdge > 0.45) continue;
            const double cycles = d.stopbandEdge + 0.6 * (0.5 - d.stopbandEdge);
            Converter s = makeConverter(p.in, p.out, 1, 256, q);
            ASSERT_NE(s, nullptr);
            const Converted c = convertSine(s.get(), p.in / 2, cycles, kAmplitude);
            const std::span<const audio16> steady(c.out.data() + c.settle, c.out.size() - c.settle);
            // What passes is the tone times the stopband gain, plus output rounding.
            const double allowed = kAmplitude / std::sqrt(2.0) * std::pow(10.0, -d.targetDb / 20) + 0.5;
            EXPECT_LT(rms(steady), allowed)
                << describe(p.in, p.out, q) << " tone at " << cycles * p.in << " Hz";
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);
}

} // namespace
