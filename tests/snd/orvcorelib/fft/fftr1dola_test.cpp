// The overlap-add frame: sizes, the creation message, windows, the mirrored history ring,
// hop checks and the synthesis step, in both configurations.
#include "fft/fftr1dola.h"
#include "fft_reference.h"
#include "fft_test_support.h"
#include "orvsys/orvconfig.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

using ffttest::FftPtr;
using ffttest::FramePtr;
using ffttest::makeFft;
using ffttest::makeFrame;

TEST(Fftr1dola, AcceptsOnlyPowersOfTwoUpTo4096) {
    struct Case {
        u32 size;
        bool accepted;
    };
    const Case cases[] = {{0, false},    {3, false},    {1000, false},     {4097, false},
                          {6144, false}, {8192, false}, {1u << 31, false}, {0xFFFFFFFFu, false},
                          {1, true},     {2, true},     {4, true},         {256, true},
                          {512, true},   {1024, true},  {2048, true},      {4096, true}};
    for (const Case &c : cases) {
        FramePtr frame = makeFrame(c.size, FFTR1DOLA_WINDOWTYPE_HANN);
        EXPECT_EQ(frame != nullptr, c.accepted) << "size " << c.size;
        FftPtr fft = makeFft(c.size, 1);
        EXPECT_EQ(fft != nullptr, c.accepted) << "size " << c.size;
        if (!frame) continue;
        EXPECT_EQ(frame->fftSize, c.size);
        EXPECT_EQ(frame->analysisHopSize, std::max(c.size / 4, 1u));
        EXPECT_EQ(frame->synthsisHopSize, std::max(c.size / 4, 1u));
        EXPECT_EQ(frame->olaHandle->aBufferSize, 3 * c.size);
        EXPECT_EQ(frame->olaHandle->aOffset, static_cast<s32>(c.size));
        EXPECT_EQ(frame->fftf->direction, 1);
        EXPECT_EQ(frame->ffti->direction, -1);
    }
    fftr1dola_free(nullptr);
    fftr1d_free(nullptr);
}

TEST(Fftr1dola, DeviceConfigurationAnnouncesEachTransform) {
    testing::internal::CaptureStdout();
    FramePtr frame(fftr1dola_new(256, FFTR1DOLA_WINDOWTYPE_HANN));
    FramePtr refused(fftr1dola_new(1000, FFTR1DOLA_WINDOWTYPE_HANN));
    const std::string out = testing::internal::GetCapturedStdout();
    if constexpr (orv::kDeviceConfig)
        EXPECT_EQ(out, "\n****using ARM9E fft\n****using ARM9E fft");
    else
        EXPECT_EQ(out, "");
}

TEST(Fftr1dola, WindowsHaveTheirShapeAndPower) {
    struct Case {
        fftr1dola_windowtype type;
        u32 n;
        audio_t first;
        audio_t last;
        double powerPerPoint; // windowPower / N, roughly
    };
    const Case cases[] = {
        {FFTR1DOLA_WINDOWTYPE_HANN, 256, 0, 0, 0.375},
        {FFTR1DOLA_WINDOWTYPE_HANN, 4096, 0, 0, 0.375},
        {FFTR1DOLA_WINDOWTYPE_HAMMING, 512, 2621, 2621, 0.3974}, // trunc(0.08 * 32767)
        {FFTR1DOLA_WINDOWTYPE_RECT, 128, 32767, 32767, 1.0},
        {static_cast<fftr1dola_windowtype>(7), 64, 32767, 32767, 1.0}, // unknown types are rectangular
    };
    for (const Case &c : cases) {
        FramePtr frame = makeFrame(c.n, c.type);
        ASSERT_NE(frame, nullptr);
        const ola_handle &h = *frame->olaHandle;
        const std::string where = "type " + std::to_string(c.type) + ", N = " + std::to_string(c.n);
        EXPECT_EQ(h.window[0], c.first) << where;
        EXPECT_EQ(h.window[c.n - 1], c.last) << where;
        EXPECT_GE(h.window[c.n / 2], 32760) << where;
        for (u32 i = 0; i < c.n; ++i)
            EXPECT_LE(std::abs(h.window[i] - h.window[c.n - 1 - i]), 1) << where << " at " << i;
        EXPECT_NEAR(h.windowPower / c.n, c.powerPerPoint, 0.004) << where;
    }
    // Rectangular: exactly N.
    EXPECT_EQ(makeFrame(128, FFTR1DOLA_WINDOWTYPE_RECT)->olaHandle->windowPower, 128.0);
    // A one-point Hann window is its own endpoint.
    EXPECT_EQ(makeFrame(1, FFTR1DOLA_WINDOWTYPE_HANN)->olaHandle->window[0], 0);
}

TEST(Fftr1dola, HopsOutsideOneToTheFrameSizeAreRefused) {
    FramePtr frame = makeFrame(256, FFTR1DOLA_WINDOWTYPE_HANN);
    struct Case {
        u32 hop;
        s32 result;
        u32 hopAfter;
    };
    const Case cases[] = {{0, -1, 64},   {257, -1, 64}, {0xFFFFFFFFu, -1, 64},
                          {256, 0, 256}, {1, 0, 1},     {100, 0, 100}};
    for (const Case &c : cases) {
        EXPECT_EQ(fftr1dola_setAnalysisHopSize(frame.get(), c.hop), c.result) << "hop " << c.hop;
        EXPECT_EQ(frame->analysisHopSize, c.hopAfter) << "hop " << c.hop;
        EXPECT_EQ(frame->olaHandle->analysisHopSize, c.hopAfter) << "hop " << c.hop;
        EXPECT_EQ(fftr1dola_setSynthsisHopSize(frame.get(), c.hop), c.result) << "hop " << c.hop;
        EXPECT_EQ(frame->synthsisHopSize, c.hopAfter) << "hop " << c.hop;
        EXPECT_EQ(frame->olaHandle->synthsisHopSize, c.hopAfter) << "hop " << c.hop;
        fftr1dola_setAnalysisHopSize(frame.get(), 64);
        fftr1dola_setSynthsisHopSize(frame.get(), 64);
    }
}

// What the analysis step must give: the latest N samples of the stream (zeros before its
// start), windowed with a further halving and transformed.
class NaiveFrame {
  public:
    NaiveFrame(const fftr1dola_struct &frame)
        : n_(frame.fftSize), window_(frame.olaHandle->window), fft_(makeFft(n_, 1)) {
        history_.assign(n_, 0);
    }
    std::vector<audio_t> next(const std::vector<audio_t> &samples) {
        history_.insert(history_.end(), samples.begin(), samples.end());
        std::vector<audio_t> fx(history_.end() - n_, history_.end());
        for (u32 i = 0; i < n_; ++i) fx[i] = static_cast<audio_t>((s32{fx[i]} * window_[i]) >> 16);
        fftr1d_process(fft_.get(), fx.data());
        return fx;
    }

  private:
    u32 n_;
    const audio_t *window_;
    FftPtr fft_;
    std::vector<audio_t> history_;
};

std::vector<audio_t> analyse(fftr1dola_struct *frame, const std::vector<audio_t> &samples) {
    std::vector<audio_t> fx(frame->fftSize);
    EXPECT_EQ(fftr1dola_analysis(frame, samples.data(), fx.data()), 1);
    return fx;
}

TEST(Fftr1dola, FirstFrameHoldsZerosThenTheNewSamples) {
    for (u32 n : {4u, 256u, 1024u}) {
        FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_RECT);
        const std::vector<audio_t> samples = fftref::uniformNoise(n / 4, 30000, n);
        std::vector<audio_t> expected(n, 0); // 3N/4 zeros, then the hop, halved by the window
        for (u32 i = 0; i < n / 4; ++i)
            expected[3 * n / 4 + i] = static_cast<audio_t>((s32{samples[i]} * 32767) >> 16);
        FftPtr fft = makeFft(n, 1);
        fftr1d_process(fft.get(), expected.data());
        EXPECT_EQ(analyse(frame.get(), samples), expected) << "N = " << n;
    }
}

// One whole frame of new samples through a rectangular window: the window halves them.
std::vector<audio_t> analyseOneFrame(u32 n, const std::vector<audio_t> &samples) {
    FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_RECT);
    EXPECT_EQ(fftr1dola_setAnalysisHopSize(frame.get(), n), 0);
    return analyse(frame.get(), samples);
}

TEST(Fftr1dola, ConstantInputGivesHalfOfItAtDc) {
    for (u32 n : {4u, 256u, 512u, 1024u, 4096u}) {
        for (audio_t c : {audio_t{1000}, audio_t{-12345}, audio_t{32767}, audio_t{-32768}}) {
            const std::vector<audio_t> fx = analyseOneFrame(n, std::vector<audio_t>(n, c));
            // (c * 32767) >> 16 is c/2 less one part in 32768.
            EXPECT_NEAR(fx[0], c / 2.0, ffttest::forwardSlack(0, n, std::abs(c) / 2.0))
                << "N = " << n << ", c = " << c;
            for (u32 i = 1; i < n; ++i)
                ASSERT_LE(std::abs(fx[i]), ffttest::forwardSlack(i, n, 0))
                    << "N = " << n << ", c = " << c << ", value " << i;
        }
    }
}

TEST(Fftr1dola, FullScaleToneGivesItsLargestMagnitudeInItsBin) {
    for (u32 n : {256u, 512u, 1024u, 4096u}) {
        for (u32 bin : {1u, 5u, n / 4, n / 3, n / 2 - 1}) {
            for (double phase : {0.0, 1.0, -std::numbers::pi / 2}) {
                const std::vector<audio_t> fx = analyseOneFrame(n, fftref::tone(n, bin, 32767, phase));
                u32 loudest = 0;
                double loudestMagnitude = -1;
                for (u32 k = 1; k < n / 2; ++k) {
                    const double magnitude = std::hypot(fx[2 * k], fx[2 * k + 1]);
                    if (magnitude > loudestMagnitude) {
                        loudest = k;
                        loudestMagnitude = magnitude;
                    }
                }
                const std::string where = "N = " + std::to_string(n) + ", bin " + std::to_string(bin);
                EXPECT_EQ(loudest, bin) << where;
                EXPECT_NEAR(loudestMagnitude, 32767 / 4.0, 0.01 * 32767 / 4)
                    << where; // halved by the window, then A/2
                EXPECT_LE(std::abs(fx[0]), ffttest::forwardSlack(0, n, 0)) << where;
                EXPECT_LE(std::abs(fx[1]), ffttest::forwardSlack(1, n, 0)) << where;
            }
        }
    }
}

TEST(Fftr1dola, MirroredRingMatchesASlidingWindowAcrossWrapsAndRandomHops) {
    for (u32 n : {4u, 16u, 256u, 1024u}) {
        FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_HANN);
        NaiveFrame naive(*frame);
        std::mt19937 rng(n);
        std::uniform_int_distribution<u32> hops(1, n);
        u32 total = 0;
        for (int call = 0; call < 300; ++call) {
            const u32 hop = call < 5 ? n / 4 : hops(rng); // the default hop first, then any
            ASSERT_EQ(fftr1dola_setAnalysisHopSize(frame.get(), hop), 0);
            const std::vector<audio_t> samples = fftref::uniformNoise(hop, 32767, call + 1000 * n);
            ASSERT_EQ(analyse(frame.get(), samples), naive.next(samples)) << "N = " << n << ", call " << call;
            total += hop;
            const s32 offset = frame->olaHandle->aOffset;
            ASSERT_GE(offset, static_cast<s32>(n));
            ASSERT_LT(offset, static_cast<s32>(2 * n));
        }
        EXPECT_GT(total, 50 * n) << "the ring must have wrapped many times";
    }
}

TEST(Fftr1dola, AnalysisInputMayBeTheStartOfTheOutput) {
    FramePtr frame = makeFrame(256, FFTR1DOLA_WINDOWTYPE_HANN);
    NaiveFrame naive(*frame);
    for (int call = 0; call < 10; ++call) {
        const std::vector<audio_t> samples = fftref::uniformNoise(64, 20000, call);
        std::vector<audio_t> buffer(256, 0);
        std::copy(samples.begin(), samples.end(), buffer.begin());
        fftr1dola_analysis(frame.get(), buffer.data(), buffer.data());
        EXPECT_EQ(buffer, naive.next(samples)) << "call " << call;
    }
}

// Analysis and synthesis with a Hann window at a quarter-frame hop: the two halvings of the
// windowing leave a quarter of the signal, delayed by N - hop.
TEST(Fftr1dola, SynthesisOverlapAddsTheFramesBack) {
    for (u32 n : {64u, 256u, 1024u}) {
        FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_HANN);
        const u32 hop = n / 4;
        const u32 calls = 24;
        std::vector<audio_t> x = fftref::tone(hop * calls, hop * calls / 37.5, 12000, 0.3);
        const std::vector<audio_t> noise = fftref::uniformNoise(hop * calls, 3000, n);
        for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<audio_t>(x[i] + noise[i]);
        std::vector<audio_t> y(x.size());
        std::vector<audio_t> fx(n);
        for (u32 c = 0; c < calls; ++c) {
            fftr1dola_analysis(frame.get(), &x[c * hop], fx.data());
            EXPECT_EQ(fftr1dola_synthsis(frame.get(), fx.data(), &y[c * hop]), 1);
        }
        double worst = 0;
        for (size_t t = n; t < y.size(); ++t)
            worst = std::max(worst, std::abs(y[t] - x[t - (n - hop)] / 4.0));
        EXPECT_LE(worst, 0.02 * 15000 / 4) << "N = " << n;
    }
}

// Many overlapping loud frames must clip in the accumulator, not wrap to the other sign.
TEST(Fftr1dola, SynthesisAccumulatorSaturates) {
    const u32 n = 64;
    FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_RECT);
    ASSERT_EQ(fftr1dola_setSynthsisHopSize(frame.get(), 1), 0);
    // A DC spectrum of 16000 comes back as 16000 everywhere, windowed to 7999; each slot adds
    // up 64 such frames before it is read, far beyond 16 bits.
    for (u32 call = 0; call < 3 * n; ++call) {
        std::vector<audio_t> fx(n, 0);
        fx[0] = 16000;
        audio_t y = 0;
        fftr1dola_synthsis(frame.get(), fx.data(), &y);
        if (call >= n) {
            ASSERT_EQ(y, 32767 / 64) << "call " << call; // hop / windowPower = 1/64
        }
    }
}

// With a hop of a whole Hann frame the output gain is N / windowPower = 8/3: loud frames
// must clip at full scale.
TEST(Fftr1dola, SynthesisOutputSaturates) {
    const u32 n = 64;
    FramePtr frame = makeFrame(n, FFTR1DOLA_WINDOWTYPE_HANN);
    ASSERT_EQ(fftr1dola_setSynthsisHopSize(frame.get(), n), 0);
    std::vector<audio_t> fx(n, 0);
    fx[0] = 32767;
    std::vector<audio_t> y(n);
    fftr1dola_synthsis(frame.get(), fx.data(), y.data());
    EXPECT_EQ(*std::max_element(y.begin(), y.end()), 32767);
    EXPECT_GE(*std::min_element(y.begin(), y.end()), 0);
    EXPECT_EQ(y[0], 0); // the window's endpoint
}

TEST(FindInArray, LargestAndSmallestOfTheFirstSizeValues) {
    struct Case {
        std::vector<audio_t> values;
        u32 size;
        audio_t max;
        audio_t min;
    };
    const Case cases[] = {
        {{3, -5, 7, 0}, 4, 7, -5},
        {{3, -5, 7, 0}, 2, 3, -5},
        {{-32768}, 1, -32768, -32768},
        {{32767, -32768, 32767}, 3, 32767, -32768},
        {{9}, 0, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(findMaxInArray(c.values.data(), c.size), c.max);
        EXPECT_EQ(findMinInArray(c.values.data(), c.size), c.min);
    }
}

} // namespace
