// The worked examples and edge cases of the integer maths, as tables.
#include "orvmath/orvmath.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace {

struct Q15Case {
    s16 x;
    s16 expected;
};

TEST(OrvmathExamples, SqrtFast) {
    constexpr std::array<Q15Case, 7> cases{{
        {16384, 23170},
        {8192, 16383},
        {1, 181},
        {0, 0},
        {-1, 0},
        {-32768, 0},
        {32767, 32764},
    }};
    for (const auto &c : cases) EXPECT_EQ(orvmath_fix_sqrtFast(c.x), c.expected) << "x = " << c.x;
}

TEST(OrvmathExamples, Log2) {
    constexpr std::array<Q15Case, 6> cases{{
        {16384, -256},
        {1, -3840},
        {0, -3840},
        {-1, 0},
        {-32768, 0},
        {8192, -512},
    }};
    for (const auto &c : cases) EXPECT_EQ(orvmath_fix_log2(c.x), c.expected) << "x = " << c.x;
}

TEST(OrvmathExamples, Exp2) {
    struct Case {
        s16 x;
        s32 mantissa;
        u8 scale;
    };
    constexpr std::array<Case, 3> cases{{{0, 0x800000, 0}, {256, 0x3FFF80, 2}, {-256, 0x3FFF80, 0}}};
    for (const auto &c : cases) {
        s32 mantissa = -1;
        u8 scale = 99;
        orvmath_fix_exp2(c.x, &mantissa, &scale);
        EXPECT_EQ(mantissa, c.mantissa) << "x = " << c.x;
        EXPECT_EQ(scale, c.scale) << "x = " << c.x;
    }
    // Far below zero the mantissa shifts out entirely (i >= 32).
    s32 mantissa = -1;
    u8 scale = 99;
    orvmath_fix_exp2(-32768, &mantissa, &scale);
    EXPECT_EQ(mantissa, 0);
    EXPECT_EQ(scale, 0);
}

TEST(OrvmathExamples, SineAndCosine) {
    struct Case {
        const char *what;
        s16 (*fn)(s32);
        s32 angle;
        s16 expected;
    };
    const std::array<Case, 9> cases{{
        {"sin(pi/2)", orvmath_fix_sinTo2Pi, ORVMATH_PI_BY_2, 32767},
        {"sin(0)", orvmath_fix_sinTo2Pi, 0, 0},
        {"cos(pi)", orvmath_fix_cosTo2Pi, ORVMATH_PI, -32767},
        {"cos(0)", orvmath_fix_cosTo2Pi, 0, 32767},
        {"cos(-pi)", orvmath_fix_cosTo2Pi, -ORVMATH_PI, -32767},
        {"cos(2pi)", orvmath_fix_cosTo2Pi, ORVMATH_2PI, 32767},
        {"cosToPi(0)", orvmath_fix_cosToPi, 0, 32767},
        {"cosToPiBy4(0)", orvmath_fix_cosToPiBy4, 0, 32767},
        {"sinToPiBy4(0)", orvmath_fix_sinToPiBy4, 0, 0},
    }};
    for (const auto &c : cases) EXPECT_EQ(c.fn(c.angle), c.expected) << c.what;
}

TEST(OrvmathExamples, IntegerSquareRootAndLeadingZeros) {
    struct Case {
        u32 value;
        u32 root;
    };
    constexpr std::array<Case, 8> roots{{
        {0, 0},
        {1, 1},
        {3, 1},
        {4, 2},
        {0xFFFFFFFF, 65535},
        {0xFFFE0001, 65535},
        {0xFFFE0000, 65534},
        {1u << 31, 46340},
    }};
    for (const auto &c : roots) EXPECT_EQ(orvmath_sqrt_uint32(c.value), c.root) << "value = " << c.value;

    EXPECT_EQ(orvmath_clz(0), 32u);
    EXPECT_EQ(orvmath_clz(1), 31u);
    EXPECT_EQ(orvmath_clz(0x80000000u), 0u);
    EXPECT_EQ(orvmath_clz(0x00010000u), 15u);
}

TEST(OrvmathExamples, IntegerSquareRootIsTheFloorEverywhere) {
    // Every perfect square, its neighbours, and a stride through the whole range.
    for (u64 r = 0; r <= 65535; ++r) {
        const u64 sq = r * r;
        ASSERT_EQ(orvmath_sqrt_uint32(static_cast<u32>(sq)), r);
        if (sq > 0) {
            ASSERT_EQ(orvmath_sqrt_uint32(static_cast<u32>(sq - 1)), r - 1);
        }
    }
    for (u64 v = 0; v <= 0xFFFFFFFFu; v += 40503) {
        const u64 r = orvmath_sqrt_uint32(static_cast<u32>(v));
        ASSERT_LE(r * r, v);
        ASSERT_GT((r + 1) * (r + 1), v);
    }
}

TEST(OrvmathExamples, ComplexMagnitude) {
    struct Case {
        s16 re, im;
        s32 mag;
    };
    constexpr std::array<Case, 6> cases{{
        {-32768, -32768, 46340},
        {3, 4, 5},
        {0, 0, 0},
        {-32768, 0, 32768},
        {32767, 32767, 46339},
        {-5, 12, 13},
    }};
    for (const auto &c : cases) EXPECT_EQ(orvmath_fix_complexMag(c.re, c.im), c.mag) << c.re << ", " << c.im;
}

TEST(OrvmathExamples, ComplexAngle) {
    struct Case {
        s16 re, im;
        s32 angle;
    };
    constexpr std::array<Case, 10> cases{{
        {0, 0, 0},                           // the origin
        {-32768, -32768, -ORVMATH_3PI_BY_4}, // the other zero divisor
        {1, 0, 0},
        {100, 100, ORVMATH_PI_BY_4},
        {0, 1, ORVMATH_PI_BY_2},
        {0, -1, -ORVMATH_PI_BY_2},
        {-1, 0, ORVMATH_PI},
        {-100, 100, ORVMATH_3PI_BY_4},
        {-100, -100, -ORVMATH_3PI_BY_4},
        {0, -32768, -ORVMATH_PI_BY_2}, // |imag| does not fit 16 bits
    }};
    for (const auto &c : cases)
        EXPECT_EQ(orvmath_fix_complexAng(c.re, c.im), c.angle) << c.re << ", " << c.im;
}

TEST(OrvmathExamples, BilinearPrewarpInversionFlag) {
    u8 inverted = 7;
    const u32 atHalf = orvmath_fix_bilinearPrewarp(0x8000, &inverted);
    EXPECT_EQ(inverted, 0);
    // tan(pi/4) = 1.0 in Q31, within the polynomial's accuracy.
    EXPECT_NEAR(static_cast<double>(atHalf), 2147483648.0, 2147483648.0 * 0.005);

    orvmath_fix_bilinearPrewarp(0x8001, &inverted);
    EXPECT_EQ(inverted, 1);
    EXPECT_EQ(orvmath_fix_bilinearPrewarp(0, &inverted), 0u);
    EXPECT_EQ(inverted, 0);
    // Above half the band the function mirrors: f and 65535 - f give the same value.
    EXPECT_EQ(orvmath_fix_bilinearPrewarp(0xC000, &inverted), orvmath_fix_bilinearPrewarp(0x3FFF, &inverted));
}

TEST(OrvmathSort, SignedAndUnsignedTables) {
    std::array<s32, 7> s{5, INT_MIN, -1, INT_MAX, 0, -7, 3};
    orvmath_sort_int32(s.data(), 0, 7);
    EXPECT_EQ(s, (std::array<s32, 7>{INT_MIN, -7, -1, 0, 3, 5, INT_MAX}));

    // Values more than 2^31 apart keep their true order.
    std::array<u32, 5> u{0xFFFFFFFFu, 0, 0x80000000u, 1, 0x7FFFFFFFu};
    orvmath_sort_uint32(u.data(), 0, 5);
    EXPECT_EQ(u, (std::array<u32, 5>{0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}));
}

TEST(OrvmathSort, OnlyTheRangeFromBegUpToEnd) {
    std::array<s32, 6> s{9, 8, 7, 6, 5, 4};
    orvmath_sort_int32(s.data(), 1, 4);
    EXPECT_EQ(s, (std::array<s32, 6>{9, 6, 7, 8, 5, 4}));

    const auto before = s;
    orvmath_sort_int32(s.data(), 3, 3); // empty
    orvmath_sort_int32(s.data(), 4, 2); // reversed: nothing
    EXPECT_EQ(s, before);

    std::array<u32, 3> u{3, 2, 1};
    orvmath_sort_uint32(u.data(), 2, 2);
    orvmath_sort_uint32(u.data(), 2, 0);
    EXPECT_EQ(u, (std::array<u32, 3>{3, 2, 1}));
}

TEST(OrvmathSort, Comparators) {
    const s32 lo = INT_MIN, hi = INT_MAX;
    EXPECT_LT(comp_int32(&lo, &hi), 0);
    EXPECT_GT(comp_int32(&hi, &lo), 0);
    EXPECT_EQ(comp_int32(&lo, &lo), 0);
    const u32 small = 0, big = 0xFFFFFFFFu;
    EXPECT_LT(comp_uint32(&small, &big), 0);
    EXPECT_GT(comp_uint32(&big, &small), 0);
}

} // namespace
