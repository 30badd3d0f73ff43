// Integer helpers shared by all fixed-point code: widened products, Q-format multiplies,
// saturation and shifts whose count may come from data. Everything here is constexpr,
// branch-light and free of undefined behaviour for every input.
#pragma once

#include "orvsys/orvint.h"

#include <limits>

namespace orv {

// Product of two 32-bit values widened to 64 bits.
constexpr s64 mul64(s32 a, s32 b) {
    return static_cast<s64>(a) * static_cast<s64>(b);
}
constexpr u64 umul64(u32 a, u32 b) {
    return static_cast<u64>(a) * static_cast<u64>(b);
}

// Product of two 64-bit values, saturated to the 64-bit range when it does not fit: exact
// for every product that fits, and of the right sign and far beyond 32 bits otherwise, so a
// chain of Q-format multiplies of 64-bit intermediates stays defined and saturates cleanly.
constexpr s64 mulSat64(s64 a, s64 b) {
    s64 product = 0;
    if (!__builtin_mul_overflow(a, b, &product)) return product;
    return (a < 0) != (b < 0) ? std::numeric_limits<s64>::min() : std::numeric_limits<s64>::max();
}

// Saturation of a wide value to a narrower signed range.
constexpr s16 sat16(s64 v) {
    return static_cast<s16>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}
constexpr s32 sat32(s64 v) {
    constexpr s64 hi = std::numeric_limits<s32>::max();
    constexpr s64 lo = std::numeric_limits<s32>::min();
    return static_cast<s32>(v > hi ? hi : (v < lo ? lo : v));
}
// Floating-point value truncated toward zero and saturated to 16 bits; NaN gives 0. (A plain
// conversion of an out-of-range value is undefined.)
constexpr s16 truncSat16(double v) {
    if (v != v) return 0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<s16>(v);
}

// Saturation to a signed field of `bits` bits (1..63), e.g. 24 for audio24 outputs.
constexpr s64 satBits(s64 v, int bits) {
    const s64 hi = (s64{1} << (bits - 1)) - 1;
    const s64 lo = -hi - 1;
    return v > hi ? hi : (v < lo ? lo : v);
}

// Arithmetic right shift with the count clamped to the width: counts of 64 or more
// give the sign (0 or -1), negative counts shift nothing.
constexpr s64 asr64(s64 v, int n) {
    if (n <= 0) return v;
    if (n >= 63) return v < 0 ? -1 : 0;
    return v >> n;
}
constexpr s32 asr32(s32 v, int n) {
    return static_cast<s32>(asr64(v, n));
}

// Logical right shift with the count clamped: 32 or more gives 0.
constexpr u32 lsr32(u32 v, int n) {
    return n <= 0 ? v : (n >= 32 ? 0u : v >> n);
}

// Left shift that saturates instead of overflowing; counts of 32 or more saturate any
// non-zero value, negative counts shift nothing.
constexpr s32 shlSat32(s32 v, int n) {
    if (n <= 0 || v == 0) return v;
    if (n >= 32) return v < 0 ? std::numeric_limits<s32>::min() : std::numeric_limits<s32>::max();
    return sat32(static_cast<s64>(v) * (s64{1} << n));
}

// (a * b) >> shift with a 64-bit product, for a Q-format multiply. shift in 0..62.
constexpr s32 mulShift(s32 a, s32 b, int shift) {
    return static_cast<s32>(mul64(a, b) >> shift);
}
// Same, saturated to 32 bits.
constexpr s32 mulShiftSat(s32 a, s32 b, int shift) {
    return sat32(mul64(a, b) >> shift);
}
// Rounded variant: adds half an output unit before the shift. shift in 1..62.
constexpr s32 mulShiftRound(s32 a, s32 b, int shift) {
    return static_cast<s32>((mul64(a, b) + (s64{1} << (shift - 1))) >> shift);
}

// Common formats.
constexpr s32 mulQ15(s32 a, s32 b) {
    return mulShift(a, b, 15);
} // x * Q15
constexpr s32 mulQ20(s32 a, s32 b) {
    return mulShift(a, b, 20);
} // Q12.20
constexpr s32 mulQ27(s32 a, s32 b) {
    return mulShift(a, b, 27);
} // Q4.27 coefficients
constexpr s32 mulQ31(s32 a, s32 b) {
    return mulShift(a, b, 31);
} // Q31

// Wrapping arithmetic, where a format is meant to wrap (CRC, 24-bit samples in 32-bit words,
// pseudo-random generators): computed in unsigned types, so that the wrap is defined.
constexpr s32 wrapAdd32(s32 a, s32 b) {
    return static_cast<s32>(static_cast<u32>(a) + static_cast<u32>(b));
}
constexpr s32 wrapSub32(s32 a, s32 b) {
    return static_cast<s32>(static_cast<u32>(a) - static_cast<u32>(b));
}
constexpr s32 wrapMul32(s32 a, s32 b) {
    return static_cast<s32>(static_cast<u32>(a) * static_cast<u32>(b));
}

// Float to integer by truncation toward zero, saturated to the signed 32-bit range; NaN
// gives 0. A plain cast is undefined outside the range, so every float that becomes a frame
// number or a stored integer goes through here.
constexpr s32 truncSat32(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483648.0f) return std::numeric_limits<s32>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<s32>::min();
    return static_cast<s32>(v);
}

// Float to an unsigned integer by truncation toward zero, saturated to 0 .. 2^32 - 1 (the
// unit's own conversion instruction saturates the same way); NaN gives 0.
constexpr u32 truncSatU32(float v) {
    if (!(v == v) || v <= 0.0f) return 0;
    if (v >= 4294967296.0f) return std::numeric_limits<u32>::max();
    return static_cast<u32>(v);
}

} // namespace orv
