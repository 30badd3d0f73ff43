// Integer maths of the core library: sorting, integer square root, leading zeros, complex
// magnitude and angle, and Q15 square root, logarithm, exponential, sine, cosine and the
// bilinear pre-warp. All functions are pure, reentrant, allocation-free and fit for the
// real-time audio thread (except the sorts).
//
// Formats: Q15 values are s16 v meaning v/32768. Angles are Q15 radians in an s32:
// pi/4 = 25736, pi/2 = 51472, pi = 102944, 2*pi = 205888. Logarithms are Q8 in an s16.
#pragma once

#include "orvsys/orvint.h"

inline constexpr s32 ORVMATH_PI_BY_4 = 25736;
inline constexpr s32 ORVMATH_PI_BY_2 = 51472;
inline constexpr s32 ORVMATH_3PI_BY_4 = 77208;
inline constexpr s32 ORVMATH_PI = 102944;
inline constexpr s32 ORVMATH_2PI = 205888;

// qsort comparators: negative, zero or positive as *a is below, equal to or above *b,
// comparing signed (respectively unsigned) 32-bit values; never overflows.
int comp_int32(const void *a, const void *b);
int comp_uint32(const void *a, const void *b);

// Sort array[beg] .. array[end - 1] ascending in place; nothing when end <= beg.
void orvmath_sort_int32(s32 *array, s32 beg, s32 end);
void orvmath_sort_uint32(u32 *array, s32 beg, s32 end);

// Number of leading zero bits; 32 for 0.
u32 orvmath_clz(u32 value);

// floor(sqrt(value)); 0 for 0.
u32 orvmath_sqrt_uint32(u32 value);

// floor(sqrt(real^2 + imag^2)), the sum taken as an unsigned 32-bit value.
s32 orvmath_fix_complexMag(s16 real, s16 imag);

// Angle of real + j*imag in Q15 radians, -pi..pi, by a first-order arctangent.
// The origin gives 0; (-32768, -32768) gives -3*pi/4.
s32 orvmath_fix_complexAng(s16 real, s16 imag);

// Square root of a Q15 value in Q15; 0 for x <= 0.
s16 orvmath_fix_sqrtFast(s16 x);

// Base-2 logarithm of a Q15 value in Q8 (-3840 for 1); 0 for x < 0; 0 counts as 1.
s16 orvmath_fix_log2(s16 x);

// 2^(x/256) = *mantissa / 2^23 * 2^*scale, with the mantissa in Q23 (1.0 = 0x800000).
void orvmath_fix_exp2(s16 x, s32 *mantissa, u8 *scale);

// Quarter-wave polynomials for |angle| <= pi/4, Q15 result.
s16 orvmath_fix_cosToPiBy4(s32 angle);
s16 orvmath_fix_sinToPiBy4(s32 angle);

// Cosine in Q15 for -pi <= angle <= pi.
s16 orvmath_fix_cosToPi(s32 angle);
// Cosine in Q15 for -2*pi <= angle <= 2*pi.
s16 orvmath_fix_cosTo2Pi(s32 angle);
// Sine in Q15 for 0 <= angle <= 2*pi: the cosine of angle - pi/2.
s16 orvmath_fix_sinTo2Pi(s32 angle);

// tan(pi/2 * f/65536) in Q31 for a frequency freq in units of 1/65536 of half the sample
// rate. Above 0x8000 it works on 65535 - freq, sets *inverted to 1 and the result is the
// reciprocal of the wanted tangent; otherwise *inverted is 0.
u32 orvmath_fix_bilinearPrewarp(u16 freq, u8 *inverted);
