// The compile-time sine and cosine against the C library over many fractions of pi,
// including the octant edges where the reduction switches between the two series.
#include "orvmath/constexpr_trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

static_assert(orv::constexprSinPi(0, 1) == 0.0 && orv::constexprCosPi(0, 1) == 1.0);
static_assert(orv::constexprSinPi(1, 2) == 1.0 && orv::constexprSinPi(-1, 2) == -1.0);
static_assert(orv::constexprCosPi(1, 1) == -1.0);

// Reference in extended precision, so that the rounding of a large angle does not count.
TEST(ConstexprTrig, AgreesWithTheCLibraryToAFewUlp) {
    for (s64 den : {1, 3, 7, 64, 1000, 4096, 8192, 65536}) {
        for (s64 num = -3 * den; num <= 3 * den; num += (den > 1000 ? 7 : 1)) {
            const long double angle = std::numbers::pi_v<long double> * num / den;
            ASSERT_NEAR(orv::constexprSinPi(num, den), std::sin(angle), 4e-16) << num << "/" << den;
            ASSERT_NEAR(orv::constexprCosPi(num, den), std::cos(angle), 4e-16) << num << "/" << den;
        }
    }
}

TEST(ConstexprTrig, ExactAtQuarterTurns) {
    for (s64 k = -8; k <= 8; ++k) {
        EXPECT_EQ(orv::constexprSinPi(k, 1), 0.0) << k;
        EXPECT_EQ(std::abs(orv::constexprCosPi(k, 1)), 1.0) << k;
        EXPECT_EQ(orv::constexprCosPi(2 * k + 1, 2), 0.0) << k;
    }
}

} // namespace
