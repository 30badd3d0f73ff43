// The filter tables against their rule, and the single-kernel cases that rest on them.
#include "resampler/resampler_tables.h"
#include "resampler_test_support.h"

#include <cmath>

namespace {

using orv::rs::GSTAB;
using orv::rs::GSTAB2;
using orvtest::Reader;

constexpr s32 kOne = 0x4000;

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 60; ++k) {
        term *= (x / 2) * (x / 2) / (k * k);
        sum += term;
    }
    return sum;
}

// The Kaiser-windowed sinc both tables sample: beta 9.0 over +-6 frames.
double windowedSinc(double x) {
    if (std::abs(x) > 6.0) return 0.0;
    const double window = besselI0(9.0 * std::sqrt(1.0 - (x / 6.0) * (x / 6.0))) / besselI0(9.0);
    const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
    return 32767.0 * sinc * window;
}

TEST(ResamplerTables, GstabIsTheTruncatedWindowedSincAtQuarterFrames) {
    for (size_t k = 0; k < GSTAB.size(); ++k)
        EXPECT_EQ(GSTAB[k], static_cast<s32>(std::trunc(windowedSinc((static_cast<double>(k) - 24) / 4))))
            << k;
    const s32 centre[] = {0, 9200, 20253, 29284, 32767, 29284, 20253, 9200, 0};
    for (size_t k = 20; k <= 28; ++k) EXPECT_EQ(GSTAB[k], centre[k - 20]);
}

TEST(ResamplerTables, Gstab2IsTheRoundedWindowedSincAtEighthFrames) {
    for (size_t k = 0; k < GSTAB2.size(); ++k)
        EXPECT_EQ(GSTAB2[k], static_cast<s16>(std::lround(windowedSinc((static_cast<double>(k) - 48) / 8))))
            << k;
    const s16 rising[] = {4166, 9201, 14722, 20254, 25274, 29284, 31873, 32767};
    for (size_t k = 41; k <= 48; ++k) EXPECT_EQ(GSTAB2[k], rising[k - 41]);
    for (size_t k = 97; k < GSTAB2.size(); ++k) EXPECT_EQ(GSTAB2[k], 0);
}

TEST(ResamplerKernelCases, NearestTakesTheNextFrameFromFraction127) {
    for (u32 channels : {1u, 2u}) {
        Reader reader({NEAREST, channels, "nearest", 1, 0}, 64);
        reader.fill(orvtest::noise);
        // Rate 0 reads at the placed position itself.
        EXPECT_EQ(reader.read(10 * kOne + 126, 0, 1)[0], reader.at(10, 0));
        EXPECT_EQ(reader.read(10 * kOne + 127, 0, 1)[0], reader.at(11, 0));
        EXPECT_EQ(reader.read(10 * kOne + 0x3FFF, 0, 1)[0], reader.at(11, 0));
    }
}

TEST(ResamplerKernelCases, ThreePointPassesAConstantAtEveryFraction) {
    // One channel exactly; two channels within their final rounding (each product floors).
    for (u32 channels : {1u, 2u}) {
        Reader reader({THREEPT, channels, "threept", 1, 0}, 64);
        for (audio16 level : {audio16{32767}, audio16{-32768}, audio16{12345}, audio16{-7}}) {
            SCOPED_TRACE(level);
            reader.fill([level](u32, u32) { return level; });
            for (u32 frac = 0; frac < 0x4000; ++frac) {
                const std::vector<audio16> out = reader.read(20 * kOne + frac, 0, 1);
                for (u32 c = 0; c < channels; ++c)
                    ASSERT_NEAR(out[c], level, channels == 1 ? 0 : 6) << "fraction " << frac;
            }
        }
    }
}

TEST(ResamplerKernelCases, TableFirPassesAConstantAtItsLevelAtRatesOneAndTwo) {
    for (u32 channels : {1u, 2u}) {
        Reader reader({FIRSINCTAB, channels, "firsinctab", 1, 1}, 256);
        for (audio16 level : {audio16{30000}, audio16{-30000}, audio16{1000}}) {
            reader.fill([level](u32, u32) { return level; });
            for (s32 rate : {kOne, 2 * kOne}) {
                SCOPED_TRACE(testing::Message() << level << " at " << rate);
                for (u32 frac : {0u, 0x1000u, 0x2000u, 0x3777u}) {
                    const std::vector<audio16> out = reader.read(100 * kOne + frac, rate, 16);
                    for (audio16 v : out)
                        ASSERT_NEAR(v, level, std::abs(level) / 500 + 3) << "fraction " << frac;
                }
            }
        }
    }
}

TEST(ResamplerKernelCases, TableFirWithoutInterpolationTakesTableEntriesAsTheyStand) {
    Reader reader({FIRSINCTAB, 1, "firsinctab", 1, 1}, 512);
    reader.fill([](u32 i, u32) { return orvtest::sine(0.02, 16000, i); });
    const std::vector<audio16> interpolated = reader.read(100 * kOne + 0x1800, 0x5000, 64);
    EXPECT_EQ(resampler_enableInterpolation(reader.r, 0), 0);
    const std::vector<audio16> stepped = reader.read(100 * kOne + 0x1800, 0x5000, 64);
    EXPECT_NE(interpolated, stepped);
    // Both are still the same signal.
    for (size_t k = 0; k < interpolated.size(); ++k) EXPECT_NEAR(interpolated[k], stepped[k], 600) << k;
}

TEST(ResamplerKernelCases, WindowedSincFollowsARampBetweenFrames) {
    // A band-limited kernel reproduces a slow ramp at any fraction; the output's bit 0 is clear.
    Reader reader({FIRSINCWIN, 1, "firsincwin", 1, 0}, 256);
    reader.fill([](u32 i, u32) { return static_cast<audio16>(40 * static_cast<int>(i) - 5000); });
    for (u32 frac : {0u, 0x800u, 0x2000u, 0x3C00u}) {
        SCOPED_TRACE(frac);
        const std::vector<audio16> out = reader.read(100 * kOne + frac, 0, 1);
        const double expected = 40 * (100 + frac / 16384.0) - 5000;
        EXPECT_NEAR(out[0], expected, 3);
        EXPECT_EQ(out[0] & 1, 0);
    }
}

} // namespace
