// Direct-form-I kernels: 8 stereo frames per call, left and right with their own state,
// integer products only, results wrapping in 32 bits.
#include "biquad/biquad_kernels.h"

#include "orvsys/orvfixed.h"

#include <array>

namespace orv {
namespace {

// The rounded Q4.27 product of a coefficient and a quarter-scale value: v * 32 (a 32-bit
// shift) against the coefficient, rounded, upper 32 bits kept.
inline s32 mulRounded(coef_t c, s32 v) {
    return mulShiftRound(c, wrapMul32(v, 32), 32);
}

struct FirstOrderState {
    audio24 x1, y1;
};

inline audio24 firstOrderStep(const df1_coef &c, audio24 x, FirstOrderState &s) {
    const audio24 y = wrapAdd32(wrapAdd32(mulQ27(c.b0, x), mulQ27(c.b1, s.x1)), mulQ27(c.a1, s.y1));
    s.x1 = x;
    s.y1 = y;
    return y;
}

struct SecondOrderState {
    s32 q1, q2, w1, w2;
};

inline audio24 secondOrderStep(const df1_coef &c, audio24 x, SecondOrderState &s) {
    const s32 q = x >> 2; // two bits of headroom for the feedback path
    s32 w = wrapAdd32(mulRounded(c.b0, q), mulRounded(c.b1, s.q1));
    w = wrapAdd32(w, mulRounded(c.b2, s.q2));
    w = wrapAdd32(w, mulRounded(c.a1, s.w1));
    w = wrapAdd32(w, mulRounded(c.a2, s.w2));
    s.q2 = s.q1;
    s.q1 = q;
    s.w2 = s.w1;
    s.w1 = w;
    return wrapMul32(w, 4);
}

} // namespace

void _process8_DF1_1(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const df1_coef c = coef->df1;
    FirstOrderState left{d[0], d[4]};
    FirstOrderState right{d[1], d[5]};
    for (int i = 0; i < 16; i += 2) {
        out[i] = firstOrderStep(c, in[i], left);
        out[i + 1] = firstOrderStep(c, in[i + 1], right);
    }
    d[0] = left.x1;
    d[1] = right.x1;
    d[4] = left.y1;
    d[5] = right.y1;
}

void _process8_DF1_2(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d) {
    const df1_coef c = coef->df1;
    SecondOrderState left{d[0], d[2], d[4], d[6]};
    SecondOrderState right{d[1], d[3], d[5], d[7]};
    for (int i = 0; i < 16; i += 2) {
        out[i] = secondOrderStep(c, in[i], left);
        out[i + 1] = secondOrderStep(c, in[i + 1], right);
    }
    d[0] = left.q1;
    d[1] = right.q1;
    d[2] = left.q2;
    d[3] = right.q2;
    d[4] = left.w1;
    d[5] = right.w1;
    d[6] = left.w2;
    d[7] = right.w2;
}

biquad_procFun biquadKernelDF1(biquad_type type) {
    constexpr std::array<biquad_procFun, BIQUAD_TYPE_COUNT> kernels{
        _process8_DF1_1, // LPF1
        _process8_DF1_1, // HPF1
        _process8_DF1_2, // BPF
        _process8_DF1_1, // AP1
        _process8_DF1_2, // AP2
        _process8_DF1_2, // PKF
        _process8_DF1_1, // HSF1
        _process8_DF1_1, // LSF1
        _process8_DF1_2, // LPF2
        _process8_DF1_2, // HPF2
        _process8_DF1_2, // HSF2
        _process8_DF1_2, // LSF2
        _process8_DF1_2, // LPF2R
        _process8_DF1_2, // HPF2R
    };
    if (type < 0 || type >= BIQUAD_TYPE_COUNT) return nullptr;
    return kernels[static_cast<std::size_t>(type)];
}

} // namespace orv
