// Checked Q4.27 arithmetic for the coefficient functions. Designs are computed in 64 bits so
// that intermediate values beyond +-16 (high shelves above about +12 dB) stay exact; any step
// that cannot be represented (a non-finite or huge real, a product beyond 64 bits, a zero
// divisor, a normalised coefficient beyond +-16) marks the whole design as failed instead of
// producing a wrapped or undefined value.
#pragma once

#include "biquad/biquad.h"

#include <cmath>
#include <limits>

namespace orv {

class Q27Calc {
  public:
    static constexpr s64 kOne = s64{1} << 27;

    bool ok() const { return ok_; }

    // A real value truncated toward zero; fails when it is not finite or its magnitude reaches
    // 2^40, far beyond any coefficient of a representable design.
    s64 trunc(double v) {
        if (!(std::fabs(v) < 0x1p40)) return reject();
        return static_cast<s64>(v);
    }
    // v * 2^27 truncated toward zero: a real value as Q4.27.
    s64 toQ27(double v) { return trunc(v * 0x1p27); }

    // A real value as a coefficient word; fails beyond +-16.
    coef_t toCoef(double v) { return fitCoef(toQ27(v)); }

    // v * 2^27, the left operand of a Q4.27 division.
    s64 upscale(s64 v) {
        s64 scaled = 0;
        if (__builtin_mul_overflow(v, kOne, &scaled)) return reject();
        return scaled;
    }

    // The Q4.27 product: the 64-bit product shifted right by 27 (floor).
    s64 mul(s64 a, s64 b) {
        s64 p = 0;
        if (__builtin_mul_overflow(a, b, &p)) return reject();
        return p >> 27;
    }
    // Integer quotient truncated toward zero; fails for a zero divisor (or a quotient beyond 64 bits).
    s64 div(s64 num, s64 den) {
        if (den == 0 || (den == -1 && num == std::numeric_limits<s64>::min())) return reject();
        return num / den;
    }
    // (v * 2^27) / a0 truncated toward zero, as a coefficient word.
    coef_t normalise(s64 v, s64 a0) { return fitCoef(div(upscale(v), a0)); }

    // Marks the design as failed; returns 0 so that the computation can run on.
    s64 reject() {
        ok_ = false;
        return 0;
    }

  private:
    coef_t fitCoef(s64 v) {
        if (v > std::numeric_limits<coef_t>::max() || v < std::numeric_limits<coef_t>::min())
            return static_cast<coef_t>(reject());
        return static_cast<coef_t>(v);
    }

    bool ok_ = true;
};

} // namespace orv
