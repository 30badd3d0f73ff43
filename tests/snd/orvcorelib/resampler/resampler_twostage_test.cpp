// The decks' two-stage stereo kernel: block-to-block continuity as the sound engine reads,
// rate 0, the grid limit, position bookkeeping and underruns.
#include "orvsys/orvconfig.h"
#include "resampler_test_support.h"

#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

using orvtest::Reader;

constexpr s32 kOne = 0x4000;
const orvtest::Kernel kTwoStage = {FIRSINCTAB2, 2, "firsinctab2/2", 0, 0};

// Reads `blocks` periods of 256 frames as a deck does: place the position, set the rate,
// read; the position then moves on by 256 frames at the rate.
std::vector<audio16> playLikeADeck(Reader &reader, s64 start, s32 rate, int blocks) {
    const s64 span = static_cast<s64>(reader.buffer.size() / 2) * kOne;
    std::vector<audio16> all;
    s64 position = start;
    for (int b = 0; b < blocks; ++b) {
        const s64 placed = ((position % span) + span) % span;
        s32 produced = 0;
        const std::vector<audio16> out = reader.read(static_cast<u32>(placed), rate, 256, &produced);
        EXPECT_EQ(produced, 256) << "block " << b;
        all.insert(all.end(), out.begin(), out.end());
        position += s64{rate} * 256;
    }
    return all;
}

TEST(ResamplerTwoStage, DeckReadsJoinWithoutSeamsAtEveryRate) {
    // A sine that comes out near 1 kHz at each rate, with a whole number of cycles in the
    // buffer so that reads may wrap around it. A seam between blocks (a position off by even
    // a tenth of a frame) would leave a residual far above the limit.
    const s32 rates[] = {0x43D7, kOne / 2, 3 * kOne / 2, -0x43D7, 0x3B85, 0x1234, 0x1C001, -0x9001};
    for (s32 rate : rates) {
        SCOPED_TRACE(rate);
        const double speed = std::abs(rate) / 16384.0;
        const double in = std::round(372.0 / speed) / 16384.0;
        Reader reader(kTwoStage, 16384);
        reader.fill([&](u32 i, u32 c) { return orvtest::sine(in, c ? 9000 : 15000, i); });
        const std::vector<audio16> all = playLikeADeck(reader, 6000 * s64{kOne} + 0x0ABC, rate, 8);
        for (u32 c = 0; c < 2; ++c) {
            const double amplitude = c ? 9000 : 15000;
            const orvtest::SineFit fit = orvtest::fitSine(all, 2, c, in * speed, 0, all.size() / 2);
            EXPECT_NEAR(fit.amplitude, amplitude, amplitude * 0.01);
            EXPECT_LT(fit.residual, amplitude * 0.003) << "channel " << c;
        }
    }
}

TEST(ResamplerTwoStage, RateZeroRepeatsTheValueAtThePosition) {
    Reader reader(kTwoStage, 256);
    // A ramp: the value between two frames is their mean.
    reader.fill([](u32 i, u32 c) {
        return static_cast<audio16>(c ? -100 * static_cast<int>(i) : 100 * static_cast<int>(i));
    });
    struct Case {
        u32 position;
        int left; // expected left value; the right channel is its negative
    };
    const Case cases[] = {{100 * kOne, 10000},
                          {100 * kOne + kOne / 2, 10050},
                          {100 * kOne + kOne / 4, 10025},
                          {100 * kOne + 0x3000, 10075},
                          {100 * kOne + 0x1234, 10028}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        s32 produced = 0;
        const std::vector<audio16> out = reader.read(c.position, 0, 256, &produced);
        ASSERT_EQ(produced, 256);
        for (s32 k = 0; k < 256; ++k) {
            ASSERT_NEAR(out[2 * k], c.left, 2) << "frame " << k;
            ASSERT_NEAR(out[2 * k + 1], -c.left, 2) << "frame " << k;
        }
        EXPECT_EQ(reader.r->fRPtrInp, static_cast<s32>(c.position));
    }
}

TEST(ResamplerTwoStage, ServesAtMost2048FramesPerReadAndZeroesTheRest) {
    Reader reader(kTwoStage, 8192);
    reader.fill(orvtest::noise);
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(10 * kOne, kOne, 3000, &produced);
    EXPECT_EQ(produced, RESAMPLER_MAX_GRID_FRAMES);
    for (s32 k = 0; k < 3000; ++k) {
        ASSERT_EQ(out[2 * k], k < 2048 ? reader.at(10 + k, 0) : 0) << "frame " << k;
        ASSERT_EQ(out[2 * k + 1], k < 2048 ? reader.at(10 + k, 1) : 0) << "frame " << k;
    }
    // The position moves on by the whole request; the frame count by what was read.
    EXPECT_EQ(reader.r->fRPtrInp, 3010 * kOne);
    EXPECT_EQ(reader.r->iAPtrInp, 10 + 2048);
}

TEST(ResamplerTwoStage, PositionStaysWithinTheBufferOverManyUnplacedReads) {
    Reader reader(kTwoStage, 1000);
    reader.fill(orvtest::noise);
    ASSERT_EQ(resampler_setFractionalOffsetInp(reader.r, 999 * kOne), 0);
    for (s32 rate : {0x20000, -0x20000}) {
        ASSERT_EQ(resampler_setRateInp(reader.r, rate), 0);
        std::vector<audio16> out(2 * 256);
        testing::internal::CaptureStdout(); // underrun notices: 2048 frames span a 1000-frame buffer
        for (int i = 0; i < 100; ++i) {
            resampler_readInp(reader.r, out.data(), 256);
            ASSERT_GE(reader.r->fRPtrInp, 0);
            ASSERT_LT(reader.r->fRPtrInp, 1000 * kOne);
        }
        testing::internal::GetCapturedStdout();
    }
}

TEST(ResamplerTwoStage, UnderrunStopsTheReadWithOneNoticePerSecond) {
    // Reading 256 frames at 8.0 spans 2048 frames: a 64-frame buffer runs out after one wrap.
    Reader reader(kTwoStage, 64);
    reader.fill(orvtest::noise);
    testing::internal::CaptureStdout();
    s32 produced = 0;
    const std::vector<audio16> out = reader.read(0, 0x20000, 256, &produced);
    EXPECT_EQ(produced, 16); // grid frames 0, 8, ..., 120
    for (s32 k = 0; k < 256; ++k) {
        ASSERT_EQ(out[2 * k], k < produced ? reader.at(8 * k, 0) : 0) << "frame " << k;
        ASSERT_EQ(out[2 * k + 1], k < produced ? reader.at(8 * k, 1) : 0) << "frame " << k;
    }
    // More underruns within a second of audio stay quiet; after it, one more notice.
    for (int i = 0; i < 170; ++i) reader.read(0, 0x20000, 256);
    const std::string within = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) reader.read(0, 0x20000, 256);
    const std::string after = testing::internal::GetCapturedStdout();
    if constexpr (orv::kDeviceConfig) {
        EXPECT_EQ(within, "resampler underrun\n");
        EXPECT_EQ(after, "resampler underrun\n");
    } else {
        EXPECT_EQ(within, "");
        EXPECT_EQ(after, "");
    }
}

TEST(ResamplerTwoStage, ResamplersInDifferentThreadsShareNoState) {
    // Each resampler keeps its own grid: reading two at once in two threads gives what each
    // gives alone.
    const s32 rates[] = {0x43D7, 0x3456};
    std::vector<audio16> alone[2];
    for (int i = 0; i < 2; ++i) {
        Reader reader(kTwoStage, 4096);
        reader.fill([i](u32 f, u32 c) { return orvtest::noise(f + 1000 * i, c); });
        alone[i] = playLikeADeck(reader, 100 * kOne, rates[i], 40);
    }
    std::vector<audio16> together[2];
    auto play = [&](int i) {
        Reader reader(kTwoStage, 4096);
        reader.fill([i](u32 f, u32 c) { return orvtest::noise(f + 1000 * i, c); });
        together[i] = playLikeADeck(reader, 100 * kOne, rates[i], 40);
    };
    std::thread a(play, 0);
    std::thread b(play, 1);
    a.join();
    b.join();
    EXPECT_EQ(together[0], alone[0]);
    EXPECT_EQ(together[1], alone[1]);
}

} // namespace
