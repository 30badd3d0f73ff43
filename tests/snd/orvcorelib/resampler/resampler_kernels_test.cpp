// Every kernel, one and two channels: constants, copies, sines, backwards reading,
// wrap-around, bounds, rate limits and rate 0.
#include "resampler_test_support.h"

#include <algorithm>
#include <cstdlib>

namespace {

using orvtest::Kernel;
using orvtest::Reader;

constexpr s32 kOne = 0x4000;

class ResamplerKernel : public testing::TestWithParam<Kernel> {
  protected:
    bool usesTable() const {
        return GetParam().method == FIRSINCTAB ||
               (GetParam().method == FIRSINCTAB2 && GetParam().channels == 1);
    }
    // Largest difference allowed between a copy at rate 1.0 and its input: the table FIR's
    // centre tap is 32767/32768 and the windowed sinc clears the sample's bit 0.
    int copyTolerance() const {
        return GetParam().method == FIRSINCTAB || GetParam().method == FIRSINCWIN ||
                       (GetParam().method == FIRSINCTAB2 && GetParam().channels == 1)
                   ? 1
                   : 0;
    }
    // Input frame behind output frame k at rate `rate` (whole frames) from whole frame p.
    s64 sourceFrame(s64 p, int rate, s64 k) const {
        return p + static_cast<s64>(rate) * (k + GetParam().advance) - GetParam().lag;
    }
};

TEST_P(ResamplerKernel, ConstantInputStaysConstantAtEveryRate) {
    Reader reader(GetParam(), 4096);
    reader.fill([](u32, u32 c) { return static_cast<audio16>(c ? -12000 : 10000); });
    const s32 rates[] = {kOne, 2 * kOne, kOne / 3, 0x43D7, 3 * kOne / 2, 8 * kOne, -kOne, -0x2345, 0};
    for (s32 rate : rates) {
        SCOPED_TRACE(rate);
        s32 produced = 0;
        const std::vector<audio16> out = reader.read(1000 * kOne + 0x1234, rate, 200, &produced);
        EXPECT_EQ(produced, 200);
        int worst = 0;
        for (s32 k = 0; k < 200; ++k) {
            for (u32 c = 0; c < reader.channels; ++c) {
                const int expected = c ? -12000 : 10000;
                worst = std::max(worst, std::abs(out[k * reader.channels + c] - expected));
            }
        }
        // The table FIR's shifted coefficients keep a constant within 0.2 %; the others
        // lose no more than their final rounding.
        EXPECT_LE(worst, usesTable() ? 12000 / 500 : 8);
    }
}

TEST_P(ResamplerKernel, RateOneCopiesTheInputWithTheKernelsDelay) {
    Reader reader(GetParam(), 1024);
    reader.fill(orvtest::noise);
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(300 * kOne, kOne, 256, &produced);
    ASSERT_EQ(produced, 256);
    for (s32 k = 0; k < 256; ++k)
        for (u32 c = 0; c < reader.channels; ++c)
            ASSERT_LE(std::abs(out[k * reader.channels + c] - reader.at(sourceFrame(300, 1, k), c)),
                      copyTolerance())
                << "frame " << k << " channel " << c;
}

TEST_P(ResamplerKernel, NegativeRateReadsBackwardsAcrossTheBufferStart) {
    Reader reader(GetParam(), 512);
    reader.fill(orvtest::noise);
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(20 * kOne, -kOne, 64, &produced);
    ASSERT_EQ(produced, 64);
    for (s32 k = 0; k < 64; ++k)
        for (u32 c = 0; c < reader.channels; ++c)
            ASSERT_LE(std::abs(out[k * reader.channels + c] - reader.at(sourceFrame(20, -1, k), c)),
                      copyTolerance())
                << "frame " << k;
    // The position wrapped from the start to the end of the buffer.
    EXPECT_EQ(reader.r->fRPtrInp >> 14, (20 - 64 + 512));
}

TEST_P(ResamplerKernel, ForwardReadWrapsFromTheEndToTheStart) {
    Reader reader(GetParam(), 512);
    reader.fill(orvtest::noise);
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(500 * kOne, kOne, 40, &produced);
    ASSERT_EQ(produced, 40);
    for (s32 k = 0; k < 40; ++k)
        for (u32 c = 0; c < reader.channels; ++c)
            ASSERT_LE(std::abs(out[k * reader.channels + c] - reader.at(sourceFrame(500, 1, k), c)),
                      copyTolerance())
                << "frame " << k;
    EXPECT_EQ(reader.r->fRPtrInp, (500 + 40 - 512) * kOne);
}

TEST_P(ResamplerKernel, SineChangesPitchWithTheRate) {
    // 1 kHz at 44.1 kHz read at 1.5 becomes 1.5 kHz; other rates likewise.
    const double in = 1000.0 / 44100.0;
    const s32 rates[] = {3 * kOne / 2, 0x43D7, 3 * kOne / 4, -3 * kOne / 2};
    // Residual error as a share of the amplitude: the nearest frame is a coarse step, the
    // linear stages are good to about 60 dB and the curved interpolators far better.
    double tolerance = 0.0005;
    if (GetParam().method == NEAREST) tolerance = 0.05;
    if (GetParam().method == LINEAR || (GetParam().method == FIRSINCTAB2 && GetParam().channels == 2))
        tolerance = 0.002;
    Reader reader(GetParam(), 8192);
    reader.fill([&](u32 i, u32 c) { return orvtest::sine(in, c ? 12000 : 16000, i); });
    for (s32 rate : rates) {
        SCOPED_TRACE(rate);
        s32 produced = 0;
        const std::vector<audio16> out = reader.read(4000 * kOne, rate, 1024, &produced);
        ASSERT_EQ(produced, 1024);
        for (u32 c = 0; c < reader.channels; ++c) {
            const double amplitude = c ? 12000 : 16000;
            const orvtest::SineFit fit =
                orvtest::fitSine(out, reader.channels, c, in * std::abs(rate / 16384.0), 0, 1024);
            EXPECT_NEAR(fit.amplitude, amplitude, amplitude * 0.01 + 2) << "channel " << c;
            EXPECT_LT(fit.residual, amplitude * tolerance) << "channel " << c;
            if (std::abs(std::abs(rate) - kOne) > kOne / 4) {
                // The input pitch is gone.
                const orvtest::SineFit old = orvtest::fitSine(out, reader.channels, c, in, 0, 1024);
                EXPECT_LT(old.amplitude, amplitude * 0.1) << "channel " << c;
            }
        }
    }
}

TEST_P(ResamplerKernel, RateZeroReturnsAtOnceWithAConstantOutput) {
    Reader reader(GetParam(), 256);
    reader.fill(orvtest::noise);
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(100 * kOne + 0x1000, 0, 300, &produced);
    ASSERT_EQ(produced, 300);
    for (s32 k = 1; k < 300; ++k)
        for (u32 c = 0; c < reader.channels; ++c)
            ASSERT_EQ(out[k * reader.channels + c], out[c]) << "frame " << k;
    EXPECT_EQ(reader.r->fRPtrInp, 100 * kOne + 0x1000);
}

TEST_P(ResamplerKernel, RatesBeyondEightAreClampedAndEightStillReads) {
    Reader reader(GetParam(), 8192);
    EXPECT_EQ(resampler_setRateInp(reader.r, 0x30000), -1);
    EXPECT_EQ(reader.r->fRate, 0x20000);
    EXPECT_EQ(resampler_setRateInp(reader.r, -0x7FFFFFFF - 1), -1);
    EXPECT_EQ(reader.r->fRate, -0x20000);
    EXPECT_EQ(resampler_setRateInp(reader.r, 0x20000), 0);
    EXPECT_EQ(resampler_setRateInp(reader.r, -0x20000), 0);
    // A slow sine read at 8.0 comes out eight times higher.
    const double in = 200.0 / 44100.0;
    reader.fill([&](u32 i, u32) { return orvtest::sine(in, 16000, i); });
    for (s32 rate : {0x20000, -0x20000}) {
        SCOPED_TRACE(rate);
        s32 produced = 0;
        const std::vector<audio16> out = reader.read(4000 * kOne, rate, 256, &produced);
        ASSERT_EQ(produced, 256);
        const orvtest::SineFit fit = orvtest::fitSine(out, reader.channels, 0, in * 8, 0, 256);
        EXPECT_NEAR(fit.amplitude, 16000, 400);
        EXPECT_LT(fit.residual, 16000 * (GetParam().method == NEAREST ? 0.2 : 0.02));
    }
}

TEST_P(ResamplerKernel, BoundsStopTheReadAndTheRestIsSilence) {
    // Region 10..30; reading forwards from frame 20 at rate 1.0. Each kernel stops when its
    // reach would pass the region's end (one frame of slack at the top).
    int expected = 0;
    switch (GetParam().method) {
    case NEAREST:
    case LINEAR:
    case THREEPT:
        expected = 10; // frames 21..30
        break;
    case FIRSINCTAB:
        expected = 4; // reach 7 frames
        break;
    case FIRSINCWIN:
        expected = 2; // reach 9 frames
        break;
    case FIRSINCTAB2:
        expected = GetParam().channels == 2 ? 5 : 4; // two-stage: grid reach 7 from frame 20
        break;
    }
    Reader bounded(GetParam(), 128);
    bounded.fill(orvtest::noise);
    Reader free(GetParam(), 128);
    free.fill(orvtest::noise);
    EXPECT_EQ(resampler_setBoundsInp(bounded.r, 10, 30), 0);
    s32 produced = -1;
    const std::vector<audio16> out = bounded.read(20 * kOne, kOne, 32, &produced);
    const std::vector<audio16> reference = free.read(20 * kOne, kOne, 32);
    EXPECT_EQ(produced, expected);
    for (s32 k = 0; k < 32; ++k)
        for (u32 c = 0; c < bounded.channels; ++c)
            ASSERT_EQ(out[k * bounded.channels + c], k < produced ? reference[k * bounded.channels + c] : 0)
                << "frame " << k;
    // Without bounds the same read runs through.
    EXPECT_EQ(resampler_setBoundsInp(bounded.r, -1, -1), 0);
    EXPECT_EQ(bounded.read(20 * kOne, kOne, 32, &produced), reference);
    EXPECT_EQ(produced, 32);
}

TEST_P(ResamplerKernel, BoundsThatWrapAroundTheBufferEnd) {
    // Region 120..8 of a 128-frame buffer wraps; a read inside it runs across the seam.
    Reader reader(GetParam(), 128);
    reader.fill(orvtest::noise);
    EXPECT_EQ(resampler_setBoundsInp(reader.r, 100, 40), 0);
    s32 produced = 0;
    reader.read(120 * kOne, kOne, 16, &produced);
    EXPECT_EQ(produced, 16);
}

TEST_P(ResamplerKernel, ReadingWithoutABufferProducesNothing) {
    resampler_struct *r =
        resampler_new(GetParam().channels, GetParam().method, 1, 4, orvtest::kWinHalfLen, 0);
    ASSERT_NE(r, nullptr);
    std::vector<audio16> out(64 * GetParam().channels, 0x5555);
    EXPECT_EQ(resampler_readInp(r, out.data(), 64), 0);
    EXPECT_EQ(out, std::vector<audio16>(out.size(), 0));
    EXPECT_EQ(resampler_setBuffer(r, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(resampler_readInp(r, out.data(), 64), 0);
    EXPECT_EQ(resampler_readInp(r, out.data(), 0), 0);
    EXPECT_EQ(resampler_readInp(r, out.data(), -5), 0);
    resampler_destroy(r);
}

TEST_P(ResamplerKernel, TinyBuffersWrapEveryTapWithoutReadingOutside) {
    // Fewer frames than the longest filters reach: every tap wraps, more than once.
    for (u32 frames : {1u, 2u, 3u, 7u}) {
        SCOPED_TRACE(frames);
        Reader reader(GetParam(), frames);
        reader.fill([](u32, u32) { return static_cast<audio16>(5000); });
        testing::internal::CaptureStdout(); // underrun notices
        for (s32 rate : {kOne, -kOne, 0x20000, 0x1234, 0}) {
            std::vector<audio16> out(40 * reader.channels);
            EXPECT_EQ(resampler_setRateInp(reader.r, rate), 0);
            const s32 produced = resampler_readInp(reader.r, out.data(), 40);
            EXPECT_GE(produced, 0);
            EXPECT_LE(produced, 40);
        }
        testing::internal::GetCapturedStdout();
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, ResamplerKernel, testing::ValuesIn(orvtest::allKernels()),
                         orvtest::kernelName);

} // namespace
