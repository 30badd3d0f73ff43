// The double-precision FFT routines, composed as the package's drivers compose them, against
// naive DFTs; and their tables and work area.
#include "fft/fftdouble.h"
#include "fft_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using fftref::cplx;

std::vector<double> randomDoubles(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(count);
    for (double &x : v) x = dist(rng);
    return v;
}

// Tables for transforms of n doubles, sized as the package documents: ip of 2 + sqrt(n),
// w of n/2 (complex: nw = n/4) or n/4 + n/4 (real: nw = nc = n/4).
struct Tables {
    std::vector<int> ip;
    std::vector<double> w;
    Tables(int n) : ip(2 + static_cast<int>(std::sqrt(n)) + 1), w(n / 2 + 1) {}
};

double relativeError(const std::vector<double> &got, const std::vector<double> &want) {
    double worst = 0;
    double peak = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        worst = std::max(worst, std::abs(got[i] - want[i]));
        peak = std::max(peak, std::abs(want[i]));
    }
    return worst / peak;
}

std::vector<cplx> asComplex(const std::vector<double> &a) {
    std::vector<cplx> v(a.size() / 2);
    for (size_t j = 0; j < v.size(); ++j) v[j] = {a[2 * j], a[2 * j + 1]};
    return v;
}

std::vector<double> asDoubles(const std::vector<cplx> &v) {
    std::vector<double> a;
    for (const cplx &c : v) {
        a.push_back(c.real());
        a.push_back(c.imag());
    }
    return a;
}

constexpr double kRelative = 1e-9;

TEST(FftDouble, ComplexForwardIsTheDftWithPositiveExponent) {
    for (int n = 4; n <= 8192; n *= 2) { // n doubles: 2 ... 4096 complex points
        Tables t(n);
        makewt(n >> 2, t.ip.data(), t.w.data());
        std::vector<double> a = randomDoubles(n, n);
        const std::vector<double> want = asDoubles(fftref::dft(asComplex(a), +1));
        bitrv2(n, t.ip.data() + 2, a.data());
        cftfsub(n, a.data(), t.w.data());
        EXPECT_LE(relativeError(a, want), kRelative) << "n = " << n;
    }
}

TEST(FftDouble, ComplexBackwardIsTheDftWithNegativeExponent) {
    for (int n = 4; n <= 8192; n *= 2) {
        Tables t(n);
        makewt(n >> 2, t.ip.data(), t.w.data());
        std::vector<double> a = randomDoubles(n, 3 * n);
        const std::vector<double> want = asDoubles(fftref::dft(asComplex(a), -1));
        for (int j = 1; j < n; j += 2) a[j] = -a[j];
        bitrv2(n, t.ip.data() + 2, a.data());
        cftbsub(n, a.data(), t.w.data());
        EXPECT_LE(relativeError(a, want), kRelative) << "n = " << n;
    }
}

void realForward(int n, std::vector<double> &a, Tables &t) {
    const int nw = n >> 2;
    const int nc = n >> 2;
    makewt(nw, t.ip.data(), t.w.data());
    makect(nc, t.ip.data(), t.w.data() + nw);
    bitrv2(n, t.ip.data() + 2, a.data());
    cftfsub(n, a.data(), t.w.data());
    rftfsub(n, a.data(), nc, t.w.data() + nw);
    const double difference = a[0] - a[1];
    a[0] += a[1];
    a[1] = difference;
}

TEST(FftDouble, RealForwardGivesCosineAndSineSums) {
    for (int n = 8; n <= 4096; n *= 2) {
        Tables t(n);
        std::vector<double> a = randomDoubles(n, 5 * n);
        // R[k] + i I[k] = sum_j a[j] e^(+2 pi i j k / n), packed with R[n/2] in a[1].
        const std::vector<cplx> X = fftref::dft(std::vector<cplx>(a.begin(), a.end()), +1);
        std::vector<double> want(n);
        want[0] = X[0].real();
        want[1] = X[n / 2].real();
        for (int k = 1; k < n / 2; ++k) {
            want[2 * k] = X[k].real();
            want[2 * k + 1] = X[k].imag();
        }
        realForward(n, a, t);
        EXPECT_LE(relativeError(a, want), kRelative) << "n = " << n;
    }
}

TEST(FftDouble, RealInverseEvaluatesTheHalfSpectrum) {
    for (int n = 8; n <= 4096; n *= 2) {
        Tables t(n);
        const int nw = n >> 2;
        const int nc = n >> 2;
        makewt(nw, t.ip.data(), t.w.data());
        makect(nc, t.ip.data(), t.w.data() + nw);
        std::vector<double> a = randomDoubles(n, 7 * n); // a[2k], a[2k+1] = R[k], I[k]; a[1] = R[n/2]
        // a[t] = (R[0] + R[n/2] cos(pi t)) / 2 + sum_k (R[k] cos(2 pi k t / n) + I[k] sin(2 pi k t / n))
        std::vector<cplx> X(n);
        X[0] = a[0];
        X[n / 2] = a[1];
        for (int k = 1; k < n / 2; ++k) {
            X[k] = {a[2 * k], a[2 * k + 1]};
            X[n - k] = std::conj(X[k]);
        }
        const std::vector<cplx> x = fftref::dft(X, -1);
        std::vector<double> want(n);
        for (int i = 0; i < n; ++i) want[i] = x[i].real() / 2;
        a[1] = 0.5 * (a[0] - a[1]);
        a[0] -= a[1];
        rftbsub(n, a.data(), nc, t.w.data() + nw);
        bitrv2(n, t.ip.data() + 2, a.data());
        cftbsub(n, a.data(), t.w.data());
        EXPECT_LE(relativeError(a, want), kRelative) << "n = " << n;
    }
}

TEST(FftDouble, TablesForALongerLengthServeShorterOnes) {
    Tables t(4096);
    const int nw = 4096 >> 2;
    makewt(nw, t.ip.data(), t.w.data());
    makect(nw, t.ip.data(), t.w.data() + nw);
    EXPECT_EQ(t.ip[0], nw);
    EXPECT_EQ(t.ip[1], nw);
    for (int n = 16; n <= 4096; n *= 4) {
        std::vector<double> a = randomDoubles(n, 11 * n);
        const std::vector<double> want = asDoubles(fftref::dft(asComplex(a), +1));
        bitrv2(n, t.ip.data() + 2, a.data());
        cftfsub(n, a.data(), t.w.data());
        EXPECT_LE(relativeError(a, want), kRelative) << "complex, n = " << n;

        std::vector<double> r = randomDoubles(n, 13 * n);
        const std::vector<cplx> X = fftref::dft(std::vector<cplx>(r.begin(), r.end()), +1);
        bitrv2(n, t.ip.data() + 2, r.data());
        cftfsub(n, r.data(), t.w.data());
        rftfsub(n, r.data(), nw, t.w.data() + nw);
        EXPECT_NEAR(r[2], X[1].real(), kRelative * n) << "real, n = " << n;
        EXPECT_NEAR(r[3], X[1].imag(), kRelative * n) << "real, n = " << n;
    }
}

u32 reversed(u32 i, int bits) {
    u32 r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    return r;
}

TEST(FftDouble, BitReversalPermutesWithinItsWorkArea) {
    for (int bits = 0; bits <= 12; ++bits) {
        const int count = 1 << bits;
        const int workArea = 1 << (bits / 2);
        std::vector<int> ip(workArea + 4, -7);
        std::vector<double> a(2 * count);
        for (int j = 0; j < count; ++j) {
            a[2 * j] = j;
            a[2 * j + 1] = -j;
        }
        bitrv2(2 * count, ip.data(), a.data());
        for (int j = 0; j < count; ++j) {
            ASSERT_EQ(a[2 * j], reversed(j, bits)) << "bits " << bits << ", index " << j;
            ASSERT_EQ(a[2 * j + 1], -double(reversed(j, bits))) << "bits " << bits << ", index " << j;
        }
        for (size_t k = workArea; k < ip.size(); ++k) EXPECT_EQ(ip[k], -7) << "bits " << bits;
    }
}

TEST(FftDouble, TwiddleTableIsABitReversedQuarterTurn) {
    for (int nw : {4, 8, 64, 1024}) {
        std::vector<int> ip(2 + 64, 0);
        std::vector<double> w(nw);
        makewt(nw, ip.data(), w.data());
        EXPECT_EQ(ip[0], nw);
        EXPECT_EQ(ip[1], 1);
        int bits = 0;
        while ((2 << bits) < nw) ++bits; // nw / 2 entries
        for (int p = 0; p < nw / 2; ++p) {
            const u32 at = reversed(p, bits);
            EXPECT_NEAR(w[2 * at], std::cos(std::numbers::pi * p / nw), 1e-15) << "nw " << nw << ", p " << p;
            EXPECT_NEAR(w[2 * at + 1], std::sin(std::numbers::pi * p / nw), 1e-15)
                << "nw " << nw << ", p " << p;
        }
    }
}

TEST(FftDouble, CosineTableIsHalfScaled) {
    for (int nc : {2, 16, 1024}) {
        std::vector<int> ip(2, 0);
        std::vector<double> c(nc);
        makect(nc, ip.data(), c.data());
        EXPECT_EQ(ip[1], nc);
        EXPECT_NEAR(c[0], std::cos(std::numbers::pi / 4), 1e-16);
        for (int j = 1; j < nc; ++j)
            EXPECT_NEAR(c[j], 0.5 * std::cos(std::numbers::pi * j / (2 * nc)), 4e-16)
                << "nc " << nc << ", j " << j;
    }
}

} // namespace
