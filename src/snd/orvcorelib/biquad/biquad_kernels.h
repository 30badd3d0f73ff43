// Inside of the biquad sections: the coefficient functions of both topologies and the 8-frame
// kernels. Exposed for the section code, its tests and benchmarks; callers use biquad.h.
#pragma once

#include "biquad/biquad.h"

namespace orv {

// Coefficient functions (biquad_calcFun).
bool _calcCoef_DF1(float fc, float Q, float gain, u32 sampleRate, biquad_type type, biquad_coef *coef);
bool _calcCoef_NL(float fc, float Q, float gain, u32 sampleRate, biquad_type type, biquad_coef *coef);

// Direct-form-I kernels (biquad_procFun).
// First order: y = P(b0, x) + P(b1, x1) + P(a1, y1), P the floor Q4.27 product.
// State: x1 in d[0] (left), d[1] (right); y1 in d[4], d[5].
void _process8_DF1_1(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
// Second order on quarter-scale values (two bits of headroom) with rounded products; the
// output has its two lowest bits clear.
// State: q1 in d[0], d[1]; q2 in d[2], d[3]; w1 in d[4], d[5]; w2 in d[6], d[7].
void _process8_DF1_2(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);

// Normalised-lattice kernels. State: s1 in d[0] (left), d[1] (right); s2 in d[2], d[3].
void _process8_NL_1_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
// ((1 + g)/2) x + ((1 - g)/2) a, a the first-order allpass output.
void _process8_NL_1p_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
// ((1 + g)/2) x - ((1 - g)/2) a.
void _process8_NL_1n_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
void _process8_NL_2_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
void _process8_NL_2p_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
void _process8_NL_2n_allpass(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);
// Second-order lattice-ladder.
void _process8_NL_2(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);

// The direct-form-I kernel of a type: first order for LPF1, HPF1, AP1, HSF1, LSF1, second
// order for the others; null for an unknown type.
biquad_procFun biquadKernelDF1(biquad_type type);
// The lattice kernel of a type; null for the resonant types and unknown types.
biquad_procFun biquadKernelNL(biquad_type type);

// Recomputes the coefficients from the pending values and makes them the values in use; the
// change bits stay. A design that cannot be represented changes nothing and returns false.
bool biquadApplyPending(biquad &b);

// w0 = 2 pi fc / fs in single precision, the angle every design starts from.
inline float biquadAngularFrequency(float fc, u32 sampleRate) {
    return fc * 6.2831855f / static_cast<float>(sampleRate);
}

// Normalised direct-form-I coefficients of a design, in the stored (negated) convention.
// Returns false, leaving *out untouched, when the design cannot be represented.
bool biquadDesignDF1(float fc, float Q, float gain, u32 sampleRate, biquad_type type, df1_coef *out);

} // namespace orv
