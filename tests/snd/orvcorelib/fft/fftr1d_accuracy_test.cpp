// The real FFT against double-precision DFTs of the same frames, in both configurations:
// packed layout, scale 1/N, single bins and the inverse.
#include "fft/fftr1d.h"
#include "fft_reference.h"
#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using ffttest::forwardSlack;

const std::vector<u32> kAllSizes = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096};

std::vector<audio_t> transformed(std::vector<audio_t> x, s32 direction) {
    const ffttest::FftPtr fft = ffttest::makeFft(static_cast<u32>(x.size()), direction);
    EXPECT_NE(fft, nullptr);
    if (fft) fftr1d_process(fft.get(), x.data());
    return x;
}

template <typename T>
void expectForwardClose(const std::vector<T> &got, const std::vector<double> &want,
                        const std::string &where) {
    const double peak = fftref::peakOf(want);
    const u32 n = static_cast<u32>(want.size());
    for (u32 i = 0; i < n; ++i)
        ASSERT_LE(std::abs(double(got[i]) - want[i]), forwardSlack(i, n, peak)) << where << ", value " << i;
}

struct Signal {
    const char *name;
    std::vector<audio_t> (*make)(u32 n);
};

const Signal kSignals[] = {
    {"noise at the windowed range", [](u32 n) { return fftref::uniformNoise(n, 16383, 7 + n); }},
    {"noise at full scale", [](u32 n) { return fftref::uniformNoise(n, 32767, 11 + n); }},
    {"quiet noise", [](u32 n) { return fftref::uniformNoise(n, 40, 13 + n); }},
    {"off-bin tones",
     [](u32 n) {
         auto a = fftref::tone(n, n / 7.3, 6000, 0.4);
         auto b = fftref::tone(n, 2.6, 5000, 1.1);
         for (u32 i = 0; i < n; ++i) a[i] = static_cast<audio_t>(a[i] + b[i]);
         return a;
     }},
    {"impulse",
     [](u32 n) {
         std::vector<audio_t> v(n, 0);
         v[n / 3] = 16383;
         return v;
     }},
    {"full-scale negative constant", [](u32 n) { return std::vector<audio_t>(n, -32768); }},
};

TEST(Fftr1dAccuracy, ForwardMatchesTheDftOfTheFrame) {
    for (u32 n : kAllSizes) {
        for (const Signal &signal : kSignals) {
            const std::vector<audio_t> x = signal.make(n);
            expectForwardClose(transformed(x, 1), fftref::packedSpectrum(x),
                               std::string(signal.name) + ", N = " + std::to_string(n));
        }
    }
}

TEST(Fftr1dAccuracy, FullScaleExtremesSaturateInsteadOfWrapping) {
    const double nearFull = 0.99 * 32767;
    for (u32 n : kAllSizes) {
        const std::vector<audio_t> low = transformed(std::vector<audio_t>(n, -32768), 1);
        EXPECT_EQ(low[0], -32768) << "N = " << n;
        const std::vector<audio_t> high = transformed(std::vector<audio_t>(n, 32767), 1);
        EXPECT_GE(high[0], nearFull) << "N = " << n;
        if (n < 2) continue;
        std::vector<audio_t> alternating(n);
        for (u32 i = 0; i < n; ++i) alternating[i] = i % 2 ? -32768 : 32767;
        EXPECT_GE(transformed(alternating, 1)[1], nearFull) << "N = " << n; // Nyquist
    }
}

// A bin-centred tone of amplitude A lands in values 2k, 2k+1 as (A/2) e^(j phase); every
// other value stays near 0.
TEST(Fftr1dAccuracy, SingleBinTonesLandInTheirBin) {
    struct Case {
        u32 n;
        u32 bin;
        double phase; // 0: cosine, -pi/2: sine
    };
    std::vector<Case> cases;
    for (u32 n : {16u, 256u, 512u, 1024u, 4096u})
        for (u32 bin : {1u, 3u, n / 4 - 1, n / 4, n / 4 + 1, n / 2 - 1})
            for (double phase : {0.0, -std::numbers::pi / 2, 2.0}) cases.push_back({n, bin, phase});
    for (const Case &c : cases) {
        const double amplitude = 16383;
        std::vector<double> want(c.n, 0.0);
        want[2 * c.bin] = amplitude / 2 * std::cos(c.phase);
        want[2 * c.bin + 1] = amplitude / 2 * std::sin(c.phase);
        expectForwardClose(transformed(fftref::tone(c.n, c.bin, amplitude, c.phase), 1), want,
                           "N = " + std::to_string(c.n) + ", bin " + std::to_string(c.bin) + ", phase " +
                               std::to_string(c.phase));
    }
}

TEST(Fftr1dAccuracy, DcAndNyquistAreTheRealValuesZeroAndOne) {
    for (u32 n : kAllSizes) {
        if (n < 2) continue;
        std::vector<audio_t> x(n);
        for (u32 i = 0; i < n; ++i) x[i] = static_cast<audio_t>(3000 + (i % 2 ? -7000 : 7000));
        std::vector<double> want(n, 0.0);
        want[0] = 3000;
        want[1] = 7000;
        expectForwardClose(transformed(x, 1), want, "N = " + std::to_string(n));
    }
}

// Spectra of frames up to half scale, as the overlap-add frame's windowing leaves them.
// (Louder spectra can exceed the inverse's headroom: it only halves at each radix-4 stage.)
const Signal kHalfScaleSignals[] = {kSignals[0], kSignals[3], kSignals[4]};

// The inverse scales by a block exponent and keeps only the top bits of its result; each
// stage's rounding down collects at the first samples. Its error grows with the size, up to
// about N/2 there.
double inverseSlack(u32 n, double peak) {
    return 4.0 + 0.01 * peak + n / 2.0;
}

TEST(Fftr1dAccuracy, InverseMatchesTheInverseDftOfThePackedSpectrum) {
    for (u32 n : kAllSizes) {
        for (const Signal &signal : kHalfScaleSignals) {
            const std::vector<audio_t> spectrum = transformed(signal.make(n), 1);
            const std::vector<double> want = fftref::signalOfPacked(spectrum);
            const std::vector<audio_t> got = transformed(spectrum, -1);
            EXPECT_LE(fftref::maxError(got, want), inverseSlack(n, fftref::peakOf(want)))
                << signal.name << ", N = " << n;
            EXPECT_LE(fftref::rmsError(got, want), 4.0 + 0.005 * fftref::peakOf(want))
                << signal.name << ", N = " << n;
        }
    }
}

TEST(Fftr1dAccuracy, InverseOfAFullScaleDcKeepsItsLevel) {
    for (u32 n : kAllSizes) {
        std::vector<audio_t> spectrum(n, 0);
        spectrum[0] = -32768;
        const std::vector<audio_t> got = transformed(spectrum, -1);
        const std::vector<double> want(n, -32768.0);
        EXPECT_LE(fftref::maxError(got, want), inverseSlack(n, 32768)) << "N = " << n;
    }
}

// A forward transform quantizes every bin to one LSB of X/N; the inverse adds those
// roundings up, so the frame comes back with an error of about sqrt(N) LSB (RMS).
TEST(Fftr1dAccuracy, ForwardThenInverseGivesTheFrameBack) {
    for (u32 n : kAllSizes) {
        for (const Signal &signal : kHalfScaleSignals) {
            const std::vector<audio_t> x = signal.make(n);
            const std::vector<double> want(x.begin(), x.end());
            const std::vector<audio_t> got = transformed(transformed(x, 1), -1);
            EXPECT_LE(fftref::rmsError(got, want), 4.0 + 2.0 * std::sqrt(n)) << signal.name << ", N = " << n;
        }
    }
}

} // namespace
