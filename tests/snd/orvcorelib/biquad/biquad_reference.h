// Double-precision reference designs of the biquad types, and a measurement of a block
// processor's gain on a sine, for the filter tests.
#pragma once

#include "biquad/biquad.h"

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

namespace biquadtest {

// Normalised transfer function (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct Rational {
    double b0, b1, b2, a1, a2;

    std::complex<double> at(double omega) const {
        const std::complex<double> z1 = std::polar(1.0, -omega);
        const std::complex<double> z2 = z1 * z1;
        return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    }
    double gainDb(double freq, double fs) const {
        return 20.0 * std::log10(std::abs(at(2.0 * std::numbers::pi * freq / fs)));
    }
};

struct Design {
    biquad_type type;
    double fc, Q, gain, fs;
};

inline Rational normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

// The textbook bilinear designs: first-order sections from tan(w0/2), second-order ones with
// alpha = sin(w0) / (2Q), shelves and peak with A = 10^(gain/40), the resonant pair from an
// analog low-pass with damping sqrt(2) * 10^(-gain/10) and a0 = 1.
inline Rational referenceDF1(const Design &d) {
    const double w0 = 2.0 * std::numbers::pi * d.fc / d.fs;
    const double s = std::sin(w0), c = std::cos(w0);
    const double alpha = s / (2.0 * d.Q);
    const double A = std::pow(10.0, d.gain / 40.0);
    const double k = (std::tan(w0 / 2.0) - 1.0) / (std::tan(w0 / 2.0) + 1.0);
    switch (d.type) {
    case BIQUAD_TYPE_LPF1:
        return {(1 + k) / 2, (1 + k) / 2, 0, k, 0};
    case BIQUAD_TYPE_HPF1:
        return {(1 - k) / 2, (k - 1) / 2, 0, k, 0};
    case BIQUAD_TYPE_BPF:
        return normalised(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
    case BIQUAD_TYPE_AP1: {
        const double e = std::exp(-w0);
        return {-e, 1, 0, -e, 0};
    }
    case BIQUAD_TYPE_AP2:
        return normalised(1 - s, -2 * c, 1 + s, 1 + s, -2 * c, 1 - s);
    case BIQUAD_TYPE_PKF:
        return normalised(1 + alpha * A, -2 * c, 1 - alpha * A, 1 + alpha / A, -2 * c, 1 - alpha / A);
    case BIQUAD_TYPE_LPF2:
        return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    case BIQUAD_TYPE_HPF2:
        return normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    case BIQUAD_TYPE_HSF2: {
        const double t = 2 * std::sqrt(A) * alpha;
        return normalised(A * ((A + 1) + (A - 1) * c + t), -2 * A * ((A - 1) + (A + 1) * c),
                          A * ((A + 1) + (A - 1) * c - t), (A + 1) - (A - 1) * c + t,
                          2 * ((A - 1) - (A + 1) * c), (A + 1) - (A - 1) * c - t);
    }
    case BIQUAD_TYPE_LSF2: {
        const double t = 2 * std::sqrt(A) * alpha;
        return normalised(A * ((A + 1) - (A - 1) * c + t), 2 * A * ((A - 1) - (A + 1) * c),
                          A * ((A + 1) - (A - 1) * c - t), (A + 1) + (A - 1) * c + t,
                          -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - t);
    }
    case BIQUAD_TYPE_LPF2R:
    case BIQUAD_TYPE_HPF2R: {
        const bool high = d.type == BIQUAD_TYPE_HPF2R;
        const double K = 1.0 / std::tan(std::numbers::pi * (high ? 0.5 - d.fc / d.fs : d.fc / d.fs));
        const double D = std::sqrt(2.0) * std::pow(10.0, -0.1 * d.gain) * K;
        const double sign = high ? -1.0 : 1.0;
        // The numerator gain is an integer count of 2^-27 units, which limits the precision of
        // very low corners.
        const double n = std::trunc(0x1p27 / (K * K + D + 1)) / 0x1p27;
        return {n, sign * 2 * n, n, sign * 2 * n * (1 - K * K), n * (K * K - D + 1)};
    }
    default:
        return {1, 0, 0, 0, 0}; // the first-order shelves pass through in direct form I
    }
}

// Mixes ((1 + g)/2) x + sign ((1 - g)/2) A(x) for an allpass A with denominator
// 1 + d1 z^-1 + d2 z^-2 (its numerator the reversed denominator).
inline Rational mixedAllpass(double g, double sign, double d1, double d2, bool secondOrder) {
    const double p = (1 + g) / 2, m = sign * (1 - g) / 2;
    if (!secondOrder) return {p + m * d1, p * d1 + m, 0, d1, 0};
    return {p + m * d2, p * d1 + m * d1, p * d2 + m, d1, d2};
}

// The lattice designs: mixed allpass forms for the first-order types, the allpass and the peak;
// the same transfer functions as direct form I for the others.
inline Rational referenceNL(const Design &d) {
    const double w0 = 2.0 * std::numbers::pi * d.fc / d.fs;
    const double g = std::pow(10.0, d.gain / 20.0);
    const double t = std::tan(w0 / 2.0);
    const double k1First = (t - 1) / (t + 1);
    const double alpha = std::sin(w0) / (2.0 * d.Q);
    const double k1 = -std::cos(w0);
    switch (d.type) {
    case BIQUAD_TYPE_LPF1:
        return mixedAllpass(0, 1, k1First, 0, false);
    case BIQUAD_TYPE_HPF1:
        return mixedAllpass(0, -1, k1First, 0, false);
    case BIQUAD_TYPE_AP1:
        return {k1First, 1, 0, k1First, 0};
    case BIQUAD_TYPE_HSF1:
        return mixedAllpass(g, 1, k1First, 0, false);
    case BIQUAD_TYPE_LSF1:
        return mixedAllpass(g, -1, k1First, 0, false);
    case BIQUAD_TYPE_AP2: {
        const double k2 = (1 - alpha) / (1 + alpha);
        return {k2, k1 * (1 + k2), 1, k1 * (1 + k2), k2};
    }
    case BIQUAD_TYPE_PKF: {
        const double k2 = g * (1 - alpha * g) / (g + alpha);
        return mixedAllpass(g, 1, k1 * (1 + k2), k2, true);
    }
    default:
        return referenceDF1(d);
    }
}

inline Rational reference(biquad_topo topo, const Design &d) {
    return topo == BIQUAD_TOPO_NL ? referenceNL(d) : referenceDF1(d);
}

// One block of frameSize interleaved stereo frames from in to out.
using BlockProcess = std::function<void(const audio24 *in, audio24 *out)>;

// Gain in dB of the left channel of a block processor on a sine of freq Hz (an integer number
// of periods in one second), measured over one second after settleSeconds. The right channel
// carries silence.
inline double measureGainDb(const BlockProcess &process, u32 frameSize, double fs, double freq,
                            double amplitude = 0x1p21, double settleSeconds = 0.25) {
    const std::size_t settle = static_cast<std::size_t>(settleSeconds * fs) / frameSize * frameSize;
    const std::size_t total = settle + static_cast<std::size_t>(fs) + frameSize;
    std::vector<audio24> in(2 * frameSize), out(2 * frameSize);
    std::complex<double> inSum = 0, outSum = 0;
    std::size_t measured = 0;
    for (std::size_t n0 = 0; n0 < total; n0 += frameSize) {
        for (std::size_t i = 0; i < frameSize; ++i) {
            in[2 * i] = static_cast<audio24>(
                std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * double(n0 + i) / fs)));
            in[2 * i + 1] = 0;
        }
        process(in.data(), out.data());
        for (std::size_t i = 0; i < frameSize; ++i) {
            const std::size_t n = n0 + i;
            if (n < settle || measured >= static_cast<std::size_t>(fs)) continue;
            const std::complex<double> e = std::polar(1.0, -2 * std::numbers::pi * freq * double(n) / fs);
            inSum += double(in[2 * i]) * e;
            outSum += double(out[2 * i]) * e;
            ++measured;
        }
    }
    return 20.0 * std::log10(std::abs(outSum) / std::abs(inSum));
}

// measureGainDb of a fresh section of the given design.
inline double measureSectionDb(biquad_topo topo, const Design &d, double freq, double amplitude = 0x1p21) {
    constexpr u32 kFrames = 128;
    biquad *b = biquad_new(kFrames, topo, d.type, static_cast<u32>(d.fs));
    biquad_setParam(b, BIQUAD_PARAM_FC, static_cast<float>(d.fc));
    biquad_setParam(b, BIQUAD_PARAM_Q, static_cast<float>(d.Q));
    biquad_setParam(b, BIQUAD_PARAM_GAIN, static_cast<float>(d.gain));
    const double db = measureGainDb([b](const audio24 *in, audio24 *out) { biquad_process(b, in, out); },
                                    kFrames, d.fs, freq, amplitude);
    biquad_destroy(b);
    return db;
}

} // namespace biquadtest
