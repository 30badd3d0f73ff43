// Direct-form-I coefficient designs. The trigonometric values enter as truncated Q4.27
// integers and the designs are then computed in integers, so that both configurations and
// every build produce the same coefficient words.
#include "biquad/biquad_kernels.h"
#include "biquad/q27calc.h"

#include <cmath>

namespace orv {
namespace {

constexpr s64 kOne = Q27Calc::kOne;

// A design before normalisation, Q4.27 values held in 64 bits, denominator in the textbook
// sign convention: a0 y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
struct RawDF1 {
    s64 b0, b1, b2, a1, a2, a0;
};

constexpr RawDF1 kPassThrough{kOne, 0, 0, 0, 0, kOne};

// sin w0 / (2 Q) in Q4.27, the bandwidth term of the second-order designs.
s64 bandwidth(Q27Calc &m, s64 S, float Q) {
    return m.trunc(static_cast<float>(S) / (2.0f * Q));
}

// 10^(gain / divisor) in Q4.27.
s64 dbToQ27(Q27Calc &m, float gain, double divisor) {
    return m.toQ27(std::pow(10.0, static_cast<double>(gain) / divisor));
}

RawDF1 firstOrderPass(Q27Calc &m, s64 S, s64 C, bool highPass) {
    const s64 K = m.div(m.upscale(S - kOne - C), S + C + kOne);
    if (highPass) return {kOne - K, K - kOne, 0, 2 * K, 0, 2 * kOne};
    return {K + kOne, K + kOne, 0, 2 * K, 0, 2 * kOne};
}

RawDF1 allpass1(Q27Calc &m, float w0) {
    const s64 E = m.toQ27(std::exp(-static_cast<double>(w0)));
    return {-E, kOne, 0, -E, 0, kOne};
}

RawDF1 allpass2(s64 S, s64 C) {
    return {kOne - S, -2 * C, kOne + S, -2 * C, kOne - S, kOne + S};
}

RawDF1 bandPass(s64 alpha, s64 C) {
    return {alpha, 0, -alpha, -2 * C, kOne - alpha, kOne + alpha};
}

RawDF1 lowPass2(s64 alpha, s64 C) {
    const s64 b1 = kOne - C;
    return {b1 / 2, b1, b1 / 2, -2 * C, kOne - alpha, kOne + alpha};
}

RawDF1 highPass2(s64 alpha, s64 C) {
    const s64 b0 = (kOne + C) / 2;
    return {b0, -kOne - C, b0, -2 * C, kOne - alpha, kOne + alpha};
}

RawDF1 peaking(Q27Calc &m, s64 alpha, s64 C, float gain) {
    const s64 A = dbToQ27(m, gain, 40.0);
    const s64 boost = m.mul(alpha, A);
    const s64 cut = m.div(m.upscale(alpha), A);
    return {kOne + boost, -2 * C, kOne - boost, -2 * C, kOne - cut, kOne + cut};
}

RawDF1 shelf2(Q27Calc &m, s64 S, s64 C, float Q, float gain, bool high) {
    const s64 A = dbToQ27(m, gain, 40.0);
    const s64 R = dbToQ27(m, gain, 80.0);
    const s64 beta = m.trunc(static_cast<float>(R) / Q);
    const s64 T = m.mul(beta, S); // 2 sqrt(A) alpha
    const s64 Ap = A + kOne;
    const s64 Am = A - kOne;
    const s64 cAm = m.mul(C, Am);
    const s64 cAp = m.mul(C, Ap);
    if (high) {
        return {m.mul(A, Ap + cAm + T), -2 * m.mul(A, Am + cAp),
                m.mul(A, Ap + cAm - T), 2 * (Am - cAp),
                Ap - cAm - T,           Ap - cAm + T};
    }
    return {m.mul(A, Ap - cAm + T), 2 * m.mul(A, Am - cAp), m.mul(A, Ap - cAm - T),
            -2 * (Am + cAp),        Ap + cAm - T,           Ap + cAm + T};
}

// Bilinear transform of a second-order analog low-pass whose damping falls as the gain rises;
// the high-pass mirrors the low-pass around a quarter of the sample rate.
RawDF1 resonant(Q27Calc &m, float fc, u32 sampleRate, float gain, bool high) {
    const float ratio = fc / static_cast<float>(sampleRate);
    const float K = high ? 1.0f / std::tan(3.1415927f * (0.5f - ratio))
                         : 1.0f / std::tan(3.1415927f * fc / static_cast<float>(sampleRate));
    const float V = std::pow(10.0f, -0.1f * gain);
    const float D = 1.4142135f * V * K;
    const float K2 = K * K;
    const s64 n = m.trunc(134217728.0f / (D + 1.0f + K2));
    const s64 b1 = high ? -2 * n : 2 * n;
    const s64 a1 = m.trunc(static_cast<float>(b1) * (1.0f - K2));
    const s64 a2 = m.trunc(static_cast<float>(n) * ((1.0f - D) + K2));
    return {n, b1, n, a1, a2, kOne};
}

RawDF1 design(Q27Calc &m, float fc, float Q, float gain, u32 sampleRate, biquad_type type) {
    if (type == BIQUAD_TYPE_LPF2R || type == BIQUAD_TYPE_HPF2R)
        return resonant(m, fc, sampleRate, gain, type == BIQUAD_TYPE_HPF2R);
    if (type == BIQUAD_TYPE_HSF1 || type == BIQUAD_TYPE_LSF1) return kPassThrough;

    const float w0 = biquadAngularFrequency(fc, sampleRate);
    const s64 S = m.toQ27(std::sin(static_cast<double>(w0)));
    const s64 C = m.toQ27(std::cos(static_cast<double>(w0)));
    switch (type) {
    case BIQUAD_TYPE_LPF1:
        return firstOrderPass(m, S, C, false);
    case BIQUAD_TYPE_HPF1:
        return firstOrderPass(m, S, C, true);
    case BIQUAD_TYPE_AP1:
        return allpass1(m, w0);
    case BIQUAD_TYPE_AP2:
        return allpass2(S, C);
    case BIQUAD_TYPE_BPF:
        return bandPass(bandwidth(m, S, Q), C);
    case BIQUAD_TYPE_PKF:
        return peaking(m, bandwidth(m, S, Q), C, gain);
    case BIQUAD_TYPE_LPF2:
        return lowPass2(bandwidth(m, S, Q), C);
    case BIQUAD_TYPE_HPF2:
        return highPass2(bandwidth(m, S, Q), C);
    case BIQUAD_TYPE_HSF2:
        return shelf2(m, S, C, Q, gain, true);
    case BIQUAD_TYPE_LSF2:
        return shelf2(m, S, C, Q, gain, false);
    default:
        m.reject();
        return kPassThrough;
    }
}

} // namespace

bool biquadDesignDF1(float fc, float Q, float gain, u32 sampleRate, biquad_type type, df1_coef *out) {
    Q27Calc m;
    const RawDF1 r = design(m, fc, Q, gain, sampleRate, type);
    const df1_coef c{m.normalise(r.b0, r.a0), m.normalise(r.b1, r.a0), m.normalise(r.b2, r.a0),
                     m.normalise(-r.a1, r.a0), m.normalise(-r.a2, r.a0)};
    if (!m.ok()) return false;
    *out = c;
    return true;
}

bool _calcCoef_DF1(float fc, float Q, float gain, u32 sampleRate, biquad_type type, biquad_coef *coef) {
    df1_coef c{};
    if (!biquadDesignDF1(fc, Q, gain, sampleRate, type, &c)) return false;
    coef->df1 = c;
    return true;
}

} // namespace orv
