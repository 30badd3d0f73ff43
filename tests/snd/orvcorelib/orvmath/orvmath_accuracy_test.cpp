// Accuracy of the Q15 functions against double precision over their whole input ranges.
#include "orvmath/orvmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr double kQ15 = 32768.0;
constexpr double kAngleUnit = 32768.0; // Q15 radians

double maxErrorOver(s32 from, s32 to, s16 (*fn)(s32), double (*ref)(double)) {
    double worst = 0;
    for (s32 a = from; a <= to; ++a) {
        const double expected = ref(a / kAngleUnit) * kQ15;
        worst = std::max(worst, std::abs(fn(a) - expected));
    }
    return worst;
}

TEST(OrvmathAccuracy, CosineAndSineOverTheirRanges) {
    // The truncated Taylor series are worst at pi/4, where the cosine's missing x^6/720 term
    // is 10.5 LSB; the sine's fifth-order series stays within a few LSB.
    EXPECT_LE(maxErrorOver(-ORVMATH_PI_BY_4, ORVMATH_PI_BY_4, orvmath_fix_cosToPiBy4, std::cos), 11.0);
    EXPECT_LE(maxErrorOver(-ORVMATH_PI_BY_4, ORVMATH_PI_BY_4, orvmath_fix_sinToPiBy4, std::sin), 3.0);
    EXPECT_LE(maxErrorOver(-ORVMATH_PI, ORVMATH_PI, orvmath_fix_cosToPi, std::cos), 11.0);
    EXPECT_LE(maxErrorOver(-ORVMATH_2PI, ORVMATH_2PI, orvmath_fix_cosTo2Pi, std::cos), 11.0);
    EXPECT_LE(maxErrorOver(0, ORVMATH_2PI, orvmath_fix_sinTo2Pi, std::sin), 11.0);
}

TEST(OrvmathAccuracy, SineIsContinuousAcrossOctantBoundaries) {
    for (s32 edge : {ORVMATH_PI_BY_4, ORVMATH_3PI_BY_4, ORVMATH_PI, ORVMATH_PI + ORVMATH_PI_BY_4}) {
        for (s32 a = edge - 2; a < edge + 2; ++a)
            EXPECT_LE(std::abs(orvmath_fix_sinTo2Pi(a + 1) - orvmath_fix_sinTo2Pi(a)), 10) << "angle " << a;
    }
}

TEST(OrvmathAccuracy, SquareRootRelativeError) {
    for (s32 x = 1; x <= 32767; ++x) {
        const double expected = std::sqrt(x / kQ15) * kQ15;
        ASSERT_NEAR(orvmath_fix_sqrtFast(static_cast<s16>(x)), expected, 2.0 + expected * 1e-3)
            << "x = " << x;
    }
}

TEST(OrvmathAccuracy, Log2AbsoluteError) {
    for (s32 x = 1; x <= 32767; ++x) {
        const double expected = std::log2(x / kQ15) * 256.0;
        ASSERT_NEAR(orvmath_fix_log2(static_cast<s16>(x)), expected, 2.0) << "x = " << x;
    }
}

TEST(OrvmathAccuracy, Exp2RelativeError) {
    for (s32 x = -2048; x <= 32767; ++x) { // further below, the mantissa shifts out its bits
        s32 mantissa = 0;
        u8 scale = 0;
        orvmath_fix_exp2(static_cast<s16>(x), &mantissa, &scale);
        const double value = std::ldexp(mantissa, scale - 23);
        const double expected = std::exp2(x / 256.0);
        ASSERT_NEAR(value / expected, 1.0, 3.5e-3) << "x = " << x;
    }
}

TEST(OrvmathAccuracy, ComplexAngleFollowsTheFirstOrderArctangent) {
    // pi/4 * (1 - r) differs from the arctangent by at most about 0.071 radians.
    for (s32 re = -32767; re <= 32767; re += 97) {
        for (s32 im = -32767; im <= 32767; im += 89) {
            if (re == 0 && im == 0) continue;
            const double expected = std::atan2(im, re) * kAngleUnit;
            const s32 got = orvmath_fix_complexAng(static_cast<s16>(re), static_cast<s16>(im));
            double diff = std::abs(got - expected);
            diff = std::min(diff, 2 * M_PI * kAngleUnit - diff); // -pi and pi are one angle
            ASSERT_LE(diff, 0.072 * kAngleUnit) << re << ", " << im;
        }
    }
}

TEST(OrvmathAccuracy, BilinearPrewarpTracksTheTangent) {
    for (u32 freq = 1; freq <= 0x8000; freq += 7) {
        u8 inverted = 0;
        const double got = orvmath_fix_bilinearPrewarp(static_cast<u16>(freq), &inverted) / 2147483648.0;
        const double expected = std::tan(M_PI / 2 * freq / 65536.0);
        // A cubic in f: within 0.005 absolute, and 3 % relative where the tangent is tiny.
        ASSERT_NEAR(got, expected, 0.005) << "freq " << freq;
        ASSERT_NEAR(got / expected, 1.0, 0.03) << "freq " << freq;
    }
}

} // namespace
