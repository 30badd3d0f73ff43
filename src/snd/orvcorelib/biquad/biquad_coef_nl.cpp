// Normalised-lattice coefficient designs, in single precision. The first-order types and the
// allpass-based second-order types are designed directly; the other second-order types take
// their direct-form-I design and convert it into reflection and ladder coefficients.
#include "biquad/biquad_kernels.h"
#include "biquad/q27calc.h"

#include <cmath>

namespace orv {
namespace {

constexpr float kQ27ToReal = 1.0f / 134217728.0f;

bool isFirstOrder(biquad_type type) {
    return type == BIQUAD_TYPE_LPF1 || type == BIQUAD_TYPE_HPF1 || type == BIQUAD_TYPE_AP1 ||
           type == BIQUAD_TYPE_HSF1 || type == BIQUAD_TYPE_LSF1;
}

// Reflection coefficient of a bilinear first-order allpass with its break at w0.
void firstOrder(Q27Calc &m, float w0, nl_coef &c) {
    const float t = std::tan(w0 / 2.0f);
    const float k1 = (t - 1.0f) / (t + 1.0f);
    c.k1 = m.toCoef(k1);
    c.c1 = m.toCoef(std::sqrt(1.0f - k1 * k1));
}

// Second-order allpass with its phase at -pi at w0: k1 places the centre, k2 the width.
void allpassSecondOrder(Q27Calc &m, float w0, float Q, float gain, biquad_type type, nl_coef &c) {
    const float alpha = std::sin(w0) / (2.0f * Q);
    const float k1 = -std::cos(w0);
    float k2 = (1.0f - alpha) / (1.0f + alpha);
    if (type == BIQUAD_TYPE_PKF) {
        const float G = std::pow(10.0f, gain / 20.0f);
        k2 = G * (1.0f - alpha * G) / (G + alpha);
    }
    c.k1 = m.toCoef(k1);
    c.c1 = m.toCoef(std::sqrt(1.0f - k1 * k1));
    c.k2 = m.toCoef(k2);
    c.c2 = m.toCoef(std::sqrt(1.0f - k2 * k2));
}

// Lattice-ladder form of a direct-form-I design (a1, a2 taken back to their true sign).
void latticeLadder(Q27Calc &m, const df1_coef &d, nl_coef &c) {
    const float b0 = static_cast<float>(d.b0) * kQ27ToReal;
    const float b1 = static_cast<float>(d.b1) * kQ27ToReal;
    const float b2 = static_cast<float>(d.b2) * kQ27ToReal;
    const float a1 = -static_cast<float>(d.a1) * kQ27ToReal;
    const float a2 = -static_cast<float>(d.a2) * kQ27ToReal;
    const float k1 = a1 / (1.0f + a2);
    const float k2 = a2;
    const float c1 = std::sqrt(1.0f - k1 * k1);
    const float c2 = std::sqrt(1.0f - k2 * k2);
    c.k1 = m.toCoef(k1);
    c.k2 = m.toCoef(k2);
    c.c1 = m.toCoef(c1);
    c.c2 = m.toCoef(c2);
    c.v2 = m.toCoef(b2);
    c.v1 = m.toCoef((b1 - b2 * a1) / c2);
    c.v0 = m.toCoef((b0 - b2 * a2 - a1 * (b1 - b2 * a1) / (1.0f + a2)) / (c1 * c2));
}

} // namespace

bool _calcCoef_NL(float fc, float Q, float gain, u32 sampleRate, biquad_type type, biquad_coef *coef) {
    Q27Calc m;
    nl_coef c = coef->nl; // words a type does not design keep their values
    const bool unmixed = type == BIQUAD_TYPE_LPF1 || type == BIQUAD_TYPE_HPF1 || type == BIQUAD_TYPE_AP1;
    c.g = unmixed ? 0 : m.toCoef(std::pow(10.0f, gain / 20.0f));

    const float w0 = biquadAngularFrequency(fc, sampleRate);
    if (isFirstOrder(type)) {
        firstOrder(m, w0, c);
    } else if (type == BIQUAD_TYPE_AP2 || type == BIQUAD_TYPE_PKF) {
        allpassSecondOrder(m, w0, Q, gain, type, c);
    } else if (type == BIQUAD_TYPE_BPF || (type >= BIQUAD_TYPE_LPF2 && type <= BIQUAD_TYPE_LSF2)) {
        df1_coef d{};
        if (!biquadDesignDF1(fc, Q, gain, sampleRate, type, &d)) return false;
        latticeLadder(m, d, c);
    }
    if (!m.ok()) return false;
    coef->nl = c;
    return true;
}

} // namespace orv
