// Which rate pairs convert, with which filter set, and what a new converter looks like.
#include "srconv/srconv.h"
#include "srconv_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace srconvtest;

namespace {

TEST(SrconvSupport, EveryPairOfTheTableConvertsWithItsSet) {
    for (const Pair &p : kPairs) {
        EXPECT_EQ(srconv_isSupported(p.in, p.out), 1) << p.in << "->" << p.out;
        for (srconv_quality q : kQualities) {
            Converter s = makeConverter(p.in, p.out, 2, 256, q);
            ASSERT_NE(s, nullptr) << describe(p.in, p.out, q);
            EXPECT_EQ(s->srconvHandle->polyphaseFir, &p.set[q])
                << describe(p.in, p.out, q) << " uses " << p.setName;
        }
    }
}

TEST(SrconvSupport, AnswersForPairsInAndOutOfTheTable) {
    struct Case {
        u32 in, out;
        int supported;
    };
    const Case cases[] = {
        {44100, 44100, 1}, {22050, 22050, 1}, {11025, 11025, 1}, {48000, 48000, 1}, // equal rates
        {44100, 48000, 0}, {12000, 44100, 0}, {12000, 22050, 0}, {32000, 11025, 0}, {64000, 22050, 0},
        {88200, 11025, 0}, {96000, 48000, 0}, {44100, 24000, 0}, {44100, 8000, 0},  {0, 44100, 0},
        {0, 0, 0},         {22050, 11025, 1}, {12000, 11025, 1}, {88200, 22050, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(srconv_isSupported(c.in, c.out), c.supported) << c.in << "->" << c.out;
}

TEST(SrconvSupport, HalvingToTheAnalysisRateUsesTheHalvingSet) {
    Converter s = makeConverter(22050, 11025, 1, 128, SRCONV_QUALITY_MID);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->srconvHandle->polyphaseFir, &POLYFIR88TO44[SRCONV_QUALITY_MID]);
}

TEST(SrconvSupport, RefusesWhatItCannotConvert) {
    struct Case {
        u32 in, out, channels, maxBlock;
        int quality;
        const char *why;
    };
    const Case cases[] = {
        {44100, 44100, 2, 256, 0, "equal rates need no converter"},
        {44100, 48000, 2, 256, 0, "unsupported pair"},
        {48000, 44100, 0, 256, 0, "no channels"},
        {48000, 44100, 9, 256, 0, "more than 8 channels"},
        {48000, 44100, 2, 256, 3, "unknown quality"},
        {48000, 44100, 2, 256, -1, "unknown quality"},
        {48000, 44100, 2, 1u << 20, 0, "ring beyond 2^18 frames"},
        {96000, 11025, 2, 0xFFFFFFFFu, 2, "block size whose product with the rate passes 32 bits"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(srconv_new(c.in, c.out, c.channels, c.maxBlock, static_cast<srconv_quality>(c.quality)),
                  nullptr)
            << c.why;
    }
    for (u32 channels = 1; channels <= 8; ++channels)
        EXPECT_NE(makeConverter(48000, 44100, channels, 256, SRCONV_QUALITY_LOW), nullptr) << channels;
}

TEST(SrconvSupport, StepAndRatioOfExamplePairs) {
    struct Case {
        u32 in, out, step, ratio;
    };
    const Case cases[] = {
        {44100, 22050, 8192, 2048}, {48000, 44100, 4458, 3763}, {8000, 44100, 743, 22579},
        {96000, 11025, 35665, 470}, {22050, 44100, 2048, 8192}, {11025, 44100, 1024, 16384},
    };
    for (const Case &c : cases) {
        Converter s = makeConverter(c.in, c.out, 2, 256, SRCONV_QUALITY_LOW);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->srconvHandle->step, c.step) << c.in << "->" << c.out;
        EXPECT_EQ(s->srconvHandle->ratio, c.ratio) << c.in << "->" << c.out;
    }
}

TEST(SrconvSupport, NewConverterState) {
    // B = 5 taps + 48000 * 64 / 44100 + 1 = 75 frames; the ring is 4 x 128.
    Converter s = makeConverter(48000, 44100, 2, 64, SRCONV_QUALITY_LOW);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->lastError, SRCONV_ERROR_NOERROR);
    EXPECT_EQ(s->numChannels, 2u);
    EXPECT_EQ(s->inputSampleRate, 48000u);
    EXPECT_EQ(s->outputSampleRate, 44100u);
    EXPECT_EQ(s->maxInputBlockSize, 75u);
    const srconv_handle &h = *s->srconvHandle;
    EXPECT_EQ(h.bufferSize, 512u);
    EXPECT_EQ(h.bufferSize_, 511u);
    EXPECT_EQ(h.readOffset, 0u);
    EXPECT_EQ(h.writOffset, 3u);
    ASSERT_NE(s->tempBuffer, nullptr);
    EXPECT_TRUE(std::all_of(s->tempBuffer, s->tempBuffer + 75 * 2, [](audio16 v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(h.inputBuffer, h.inputBuffer + 512 * 2, [](audio16 v) { return v == 0; }));
}

TEST(SrconvSupport, BuffersHoldTheLargerOfTheBlockAndWhatItNeeds) {
    struct Case {
        u32 in, out, maxBlock;
        srconv_quality q;
        u32 maxInput, ring;
    };
    const Case cases[] = {
        // Upsampling needs fewer input frames than outputs: 5 + 371 + 1 = 377 < 2048.
        {8000, 44100, 2048, SRCONV_QUALITY_LOW, 2048, 8192},
        // 33 + 17833 + 1 frames for 2048 outputs at 96000 -> 11025.
        {96000, 11025, 2048, SRCONV_QUALITY_HIGH, 17866, 4 * 32768},
        // Tiny blocks still get a ring of 4 x 64 frames.
        {44100, 22050, 1, SRCONV_QUALITY_MID, 20, 256},
        {44100, 22050, 0, SRCONV_QUALITY_LOW, 6, 256},
    };
    for (const Case &c : cases) {
        Converter s = makeConverter(c.in, c.out, 2, c.maxBlock, c.q);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->maxInputBlockSize, c.maxInput) << describe(c.in, c.out, c.q);
        EXPECT_EQ(s->srconvHandle->bufferSize, c.ring) << describe(c.in, c.out, c.q);
        // The caller may decode a whole block into tempBuffer.
        std::fill(s->tempBuffer, s->tempBuffer + size_t{s->maxInputBlockSize} * 2, audio16{1});
    }
}

TEST(SrconvSupport, DelaysFollowTheFilterLength) {
    struct Case {
        u32 in, out;
        srconv_quality q;
        u32 inDelay, initialDelay;
    };
    const Case cases[] = {
        {48000, 44100, SRCONV_QUALITY_LOW, 3, 1},    // 5 taps: (3763 * 2) >> 12
        {48000, 44100, SRCONV_QUALITY_MID, 9, 7},    // 17 taps: (3763 * 8) >> 12
        {48000, 44100, SRCONV_QUALITY_HIGH, 17, 14}, // 33 taps: (3763 * 16) >> 12
        {24000, 44100, SRCONV_QUALITY_LOW, 5, 7},    // 9 taps: (7526 * 4) >> 12
        {44100, 22050, SRCONV_QUALITY_LOW, 3, 1},
    };
    for (const Case &c : cases) {
        Converter s = makeConverter(c.in, c.out, 1, 256, c.q);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(srconv_getInDelay(s.get()), c.inDelay) << describe(c.in, c.out, c.q);
        EXPECT_EQ(srconv_getInitialDelay(s.get()), c.initialDelay) << describe(c.in, c.out, c.q);
    }
}

TEST(SrconvSupport, NullConverterIsHarmless) {
    srconv_destroy(nullptr);
    EXPECT_EQ(srconv_getInSize(nullptr, 10), 0u);
    EXPECT_EQ(srconv_getOutSize(nullptr, 10), 0u);
    EXPECT_EQ(srconv_getInDelay(nullptr), 0u);
    EXPECT_EQ(srconv_getInitialDelay(nullptr), 0u);
    u32 outSize = 4;
    audio16 out[8];
    EXPECT_EQ(srconv_process(nullptr, nullptr, 0, out, &outSize), SRCONV_ERROR_ERROR);
}

} // namespace
