// The transform kernels on their own: the cosine and sine tables, the radix-4 complex
// kernels and the radix-2 fix_fft, each against a double-precision DFT. All of them are
// portable code, so they are checked in both configurations.
#include "fft/c4096.h"
#include "fft/fft_arm9e.h"
#include "fft/fix_fft.h"
#include "fft_reference.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using fftref::cplx;

TEST(C4096, HoldsTruncatedCosinesAndNegatedSines) {
    for (u32 j = 0; j < C4096_PAIRS; ++j) {
        const double angle = std::numbers::pi * j / 4096.0;
        ASSERT_EQ(C4096[2 * j], static_cast<s32>(std::trunc(32767.0 * std::cos(angle)))) << "pair " << j;
        ASSERT_EQ(C4096[2 * j + 1], static_cast<s32>(-std::trunc(32767.0 * std::sin(angle)))) << "pair " << j;
    }
    EXPECT_EQ(C4096[0], 32767);
    EXPECT_EQ(C4096[1], 0);
    EXPECT_EQ(C4096[2 * 2048], 0);
    EXPECT_EQ(C4096[2 * 2048 + 1], -32767);
}

TEST(FixFft, SineTableIsRoundedOverThreeQuarterTurns) {
    for (u32 i = 0; i < 3072; ++i)
        ASSERT_EQ(fix_fft_sine(i), std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * i / 4096.0))) << i;
}

std::vector<cplx> complexNoise(u32 len, s32 amplitude, u32 seed) {
    const std::vector<audio_t> parts = fftref::uniformNoise(2 * len, amplitude, seed);
    std::vector<cplx> v(len);
    for (u32 i = 0; i < len; ++i) v[i] = {double(parts[2 * i]), double(parts[2 * i + 1])};
    return v;
}

std::vector<audio_t> interleaved(const std::vector<cplx> &v) {
    std::vector<audio_t> out;
    for (const cplx &c : v) {
        out.push_back(static_cast<audio_t>(c.real()));
        out.push_back(static_cast<audio_t>(c.imag()));
    }
    return out;
}

std::vector<double> interleavedScaled(const std::vector<cplx> &v, double scale) {
    std::vector<double> out;
    for (const cplx &c : v) {
        out.push_back(c.real() * scale);
        out.push_back(c.imag() * scale);
    }
    return out;
}

const u32 kPowersOfFour[] = {1, 4, 16, 64, 256, 1024, 4096};

u32 stagesOf(u32 len) {
    u32 s = 0;
    for (; len > 1; len /= 4) ++s;
    return s;
}

TEST(Radix4Kernel, ForwardIsTheDftOverLength) {
    for (u32 len : kPowersOfFour) {
        const std::vector<cplx> x = complexNoise(len, 16383, len);
        const std::vector<audio_t> in = interleaved(x);
        std::vector<audio_t> out(2 * len);
        fft_16_arm9e(out.data(), in.data(), len);
        const std::vector<double> want = interleavedScaled(fftref::dft(x, -1), 1.0 / len);
        // Each stage rounds down by less than one LSB (two legs' worth after the butterfly).
        EXPECT_LE(fftref::maxError(out, want), 2.0 * stagesOf(len) + 1) << "len " << len;
    }
}

TEST(Radix4Kernel, InverseHalvesAtEveryStage) {
    for (u32 len : kPowersOfFour) {
        const std::vector<cplx> x = complexNoise(len, 4000, 3 * len);
        const std::vector<audio_t> in = interleaved(x);
        std::vector<audio_t> out(2 * len);
        ifft_16_arm9e(out.data(), in.data(), len);
        const double scale = 1.0 / (1u << stagesOf(len));
        const std::vector<double> want = interleavedScaled(fftref::dft(x, +1), scale);
        // Each stage rounds its legs down, and every later stage doubles what came before.
        EXPECT_LE(fftref::maxError(out, want), 2.0 * (1u << stagesOf(len)) + 1) << "len " << len;
    }
}

TEST(Radix4Kernel, FullScaleInputStaysInRange) {
    for (u32 len : kPowersOfFour) {
        const std::vector<audio_t> in(2 * len, -32768);
        std::vector<audio_t> out(2 * len);
        fft_16_arm9e(out.data(), in.data(), len);
        EXPECT_EQ(out[0], -32768) << "len " << len; // the DC of a constant, exactly
        EXPECT_EQ(out[1], -32768) << "len " << len;
    }
}

TEST(FixFft, ForwardIsTheDftOverLength) {
    for (u32 m = 0; m <= FIX_FFT_MAX_LOG2; ++m) {
        const u32 n = 1u << m;
        const std::vector<cplx> x = complexNoise(n, 16383, 5 * n);
        std::vector<audio_t> re(n), im(n);
        for (u32 i = 0; i < n; ++i) {
            re[i] = static_cast<audio_t>(x[i].real());
            im[i] = static_cast<audio_t>(x[i].imag());
        }
        EXPECT_EQ(fix_fft(re.data(), im.data(), m, false), 0);
        const std::vector<cplx> X = fftref::dft(x, -1);
        double worst = 0;
        for (u32 k = 0; k < n; ++k)
            worst = std::max({worst, std::abs(re[k] - X[k].real() / n), std::abs(im[k] - X[k].imag() / n)});
        // Rounded products and a rounded-down halving per stage: well under an LSB each.
        EXPECT_LE(worst, 2.0 + m / 4.0) << "m = " << m;
    }
}

TEST(FixFft, InverseHalvesOnlyWhenAValueNeedsIt) {
    struct Case {
        const char *name;
        s32 amplitude;
        bool expectHalvings;
    };
    for (const Case &c : {Case{"quiet", 20, false}, Case{"loud", 30000, true}}) {
        for (u32 m = 1; m <= FIX_FFT_MAX_LOG2; ++m) {
            const u32 n = 1u << m;
            const std::vector<cplx> x = complexNoise(n, c.amplitude, 7 * n);
            std::vector<audio_t> re(n), im(n);
            for (u32 i = 0; i < n; ++i) {
                re[i] = static_cast<audio_t>(x[i].real());
                im[i] = static_cast<audio_t>(x[i].imag());
            }
            const s32 halvings = fix_fft(re.data(), im.data(), m, true);
            const std::string where = std::string(c.name) + ", m = " + std::to_string(m);
            ASSERT_GE(halvings, 0) << where;
            ASSERT_LE(halvings, static_cast<s32>(m)) << where;
            if (c.expectHalvings) {
                EXPECT_GT(halvings, 0) << where;
            } else if (m <= 6) {
                EXPECT_EQ(halvings, 0) << where; // sums of up to 64 quiet values stay below 16384
            }
            const double scale = std::ldexp(1.0, -halvings);
            const std::vector<cplx> X = fftref::dft(x, +1);
            double worst = 0;
            for (u32 k = 0; k < n; ++k)
                worst = std::max(
                    {worst, std::abs(re[k] - X[k].real() * scale), std::abs(im[k] - X[k].imag() * scale)});
            // Without halvings the rounding of the products adds up like noise: about sqrt(N).
            EXPECT_LE(worst, 2.0 + std::sqrt(n)) << where;
        }
    }
}

TEST(FixFft, RefusesSizesBeyondItsTable) {
    std::vector<audio_t> re(8192, 5), im(8192, 7);
    EXPECT_EQ(fix_fft(re.data(), im.data(), FIX_FFT_MAX_LOG2 + 1, false), -1);
    EXPECT_EQ(re[1], 5);
    EXPECT_EQ(im[1], 7);
}

} // namespace
