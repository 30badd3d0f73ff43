// Double-precision references for the fixed-point transforms' tests: plain DFTs computed the
// slow way, with the angles reduced exactly on the integers.
#pragma once

#include "orvsys/orvint.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace fftref {

using cplx = std::complex<double>;

// e^(sign j 2 pi i / n) for i = 0 ... n - 1.
inline std::vector<cplx> unitRoots(u32 n, int sign) {
    std::vector<cplx> roots(n);
    for (u32 i = 0; i < n; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / n;
        roots[i] = {std::cos(angle), sign * std::sin(angle)};
    }
    return roots;
}

// sum_t x[t] e^(sign j 2 pi k t / n) for every k.
inline std::vector<cplx> dft(const std::vector<cplx> &x, int sign) {
    const u32 n = static_cast<u32>(x.size());
    const std::vector<cplx> roots = unitRoots(n, sign);
    std::vector<cplx> out(n);
    for (u32 k = 0; k < n; ++k) {
        cplx sum = 0;
        for (u32 t = 0; t < n; ++t) sum += x[t] * roots[(static_cast<u64>(k) * t) % n];
        out[k] = sum;
    }
    return out;
}

// The packed spectrum X[k] / N of a real frame (see fftr1d.h), in double.
inline std::vector<double> packedSpectrum(const std::vector<audio_t> &frame) {
    const u32 n = static_cast<u32>(frame.size());
    std::vector<cplx> x(frame.begin(), frame.end());
    const std::vector<cplx> X = dft(x, -1);
    std::vector<double> packed(n);
    packed[0] = X[0].real() / n;
    if (n == 1) return packed;
    packed[1] = X[n / 2].real() / n;
    for (u32 k = 1; k < n / 2; ++k) {
        packed[2 * k] = X[k].real() / n;
        packed[2 * k + 1] = X[k].imag() / n;
    }
    return packed;
}

// The real signal sum_k P[k] e^(+j 2 pi k t / N) of a packed spectrum P (the exact inverse of
// packedSpectrum).
inline std::vector<double> signalOfPacked(const std::vector<audio_t> &packed) {
    const u32 n = static_cast<u32>(packed.size());
    std::vector<cplx> X(n);
    X[0] = packed[0];
    if (n > 1) X[n / 2] = packed[1];
    for (u32 k = 1; k < n / 2; ++k) {
        X[k] = {double(packed[2 * k]), double(packed[2 * k + 1])};
        X[n - k] = std::conj(X[k]);
    }
    const std::vector<cplx> x = dft(X, +1);
    std::vector<double> out(n);
    for (u32 t = 0; t < n; ++t) out[t] = x[t].real();
    return out;
}

inline double peakOf(const std::vector<double> &v) {
    double peak = 0;
    for (double x : v) peak = std::max(peak, std::abs(x));
    return peak;
}

// Largest |got - want|.
template <typename T>
double maxError(const std::vector<T> &got, const std::vector<double> &want) {
    double worst = 0;
    for (size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(double(got[i]) - want[i]));
    return worst;
}

// Root mean square of got - want.
template <typename T>
double rmsError(const std::vector<T> &got, const std::vector<double> &want) {
    double sum = 0;
    for (size_t i = 0; i < want.size(); ++i) sum += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
    return want.empty() ? 0.0 : std::sqrt(sum / want.size());
}

inline std::vector<audio_t> uniformNoise(u32 n, s32 amplitude, u32 seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<s32> dist(-amplitude, amplitude);
    std::vector<audio_t> v(n);
    for (auto &x : v) x = static_cast<audio_t>(dist(rng));
    return v;
}

// amplitude * cos(2 pi bin t / n + phase), rounded.
inline std::vector<audio_t> tone(u32 n, double bin, double amplitude, double phase = 0.0) {
    std::vector<audio_t> v(n);
    for (u32 t = 0; t < n; ++t)
        v[t] = static_cast<audio_t>(
            std::lround(amplitude * std::cos(2.0 * std::numbers::pi * bin * t / n + phase)));
    return v;
}

} // namespace fftref
