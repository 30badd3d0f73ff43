#include "orvmath/orvmath.h"

#include "orvsys/orvfixed.h"

#include <bit>
#include <cstdlib>

namespace {

// The number of left shifts (0..14) that bring a positive Q15 value to 0x4000 or above.
int normaliseShift(s32 x) {
    int k = 0;
    while (k < 14 && (x >> (14 - k)) == 0) ++k;
    return k;
}

// |v| for angles; the most negative value stays itself instead of overflowing.
s32 absWrapped(s32 v) {
    return v < 0 ? orv::wrapSub32(0, v) : v;
}

} // namespace

int comp_int32(const void *a, const void *b) {
    const s32 x = *static_cast<const s32 *>(a);
    const s32 y = *static_cast<const s32 *>(b);
    return (x > y) - (x < y);
}

int comp_uint32(const void *a, const void *b) {
    const u32 x = *static_cast<const u32 *>(a);
    const u32 y = *static_cast<const u32 *>(b);
    return (x > y) - (x < y);
}

void orvmath_sort_int32(s32 *array, s32 beg, s32 end) {
    if (end <= beg) return;
    std::qsort(array + beg, static_cast<size_t>(end - beg), sizeof(s32), comp_int32);
}

void orvmath_sort_uint32(u32 *array, s32 beg, s32 end) {
    if (end <= beg) return;
    std::qsort(array + beg, static_cast<size_t>(end - beg), sizeof(u32), comp_uint32);
}

u32 orvmath_clz(u32 value) {
    return static_cast<u32>(std::countl_zero(value));
}

u32 orvmath_sqrt_uint32(u32 value) {
    if (value == 0) return 0;
    int n = static_cast<int>(31 - orvmath_clz(value)) >> 1;
    u32 b = 1u << n;
    u32 g = 0;
    for (; n >= 0; --n) {
        const u32 t = (2 * g + b) << n;
        if (value >= t) {
            g += b;
            value -= t;
        }
        b >>= 1;
    }
    return g;
}

s32 orvmath_fix_complexMag(s16 real, s16 imag) {
    const u32 sum = static_cast<u32>(real * real) + static_cast<u32>(imag * imag);
    return static_cast<s32>(orvmath_sqrt_uint32(sum));
}

s32 orvmath_fix_complexAng(s16 real, s16 imag) {
    const s32 x = real;
    const s32 a = static_cast<s16>(imag < 0 ? -imag : imag); // -32768 stays -32768
    s64 angle;
    if (x >= 0) {
        if (x + a == 0) return 0; // the origin
        const s32 r = (static_cast<s32>(static_cast<u32>(x - a) << 14)) / (x + a);
        angle = ((16384 - static_cast<s64>(r)) * ORVMATH_PI_BY_4) >> 14;
    } else {
        if (a - x == 0) return -ORVMATH_3PI_BY_4; // (-32768, -32768)
        const s32 r = (static_cast<s32>(static_cast<u32>(x + a) << 14)) / (a - x);
        angle = ((49152 - static_cast<s64>(r)) * ORVMATH_PI_BY_4) >> 14;
    }
    return static_cast<s32>(imag < 0 ? -angle : angle);
}

s16 orvmath_fix_sqrtFast(s16 x) {
    if (x <= 0) return 0;
    const int k = normaliseShift(x);
    const s32 y = static_cast<s32>(x) << k;
    const s32 p = ((((((-1996 * y) >> 15) + 8241) * y >> 15) - 14951) * y >> 15) + 21344;
    s32 s = ((p * y) >> 15) * 2 + 7492;
    if (k & 1) s = (s * 23170) >> 15;
    return static_cast<s16>(s >> (k >> 1));
}

s16 orvmath_fix_log2(s16 x) {
    if (x < 0) return 0;
    if (x == 0) x = 1;
    const int k = normaliseShift(x);
    const s32 y = static_cast<s32>(x) << k;
    const s32 a = ((((((y * 4669) >> 15) - 15758) * y >> 15) + 23658) * y >> 15) - 12568;
    return static_cast<s16>(-(((k << 16) - 16 * a + 128) >> 8));
}

void orvmath_fix_exp2(s16 x, s32 *mantissa, u8 *scale) {
    if (x == 0) {
        *mantissa = 0x800000;
        *scale = 0;
        return;
    }
    s32 a;
    if (x > 0) {
        const s32 sc = (x >> 8) + 1;
        *scale = static_cast<u8>(sc);
        a = x - 256 * sc;
    } else {
        *scale = 0;
        a = x;
    }
    const s32 f = (-a) & 0xFF;
    const s32 i = (-a) >> 8;
    const s32 m = ((f * f * 5615) >> 8) - f * 21997 + 0x7FFF00;
    *mantissa = i >= 32 ? 0 : (m >> i);
}

// The quarter-wave polynomials are exact 32-bit formulas for |x| <= pi/4. Arguments outside
// the documented ranges give what the same formulas give with 32-bit wrap-around.
s16 orvmath_fix_cosToPiBy4(s32 x) {
    using orv::wrapMul32;
    const s32 s = wrapMul32(x, x); // Q30
    const s32 q = wrapMul32(wrapMul32(s >> 14, s >> 14) >> 11, 1365) >> 5;
    return static_cast<s16>((static_cast<s64>(q) - s + 0x7FFFFFFF) >> 16);
}

s16 orvmath_fix_sinToPiBy4(s32 x) {
    using orv::wrapMul32;
    const s32 a = wrapMul32(x, wrapMul32(x, x) >> 15) >> 14;
    const s32 fifth = wrapMul32(wrapMul32(x, wrapMul32(x, a) >> 15) >> 8, 273) >> 7;
    return static_cast<s16>(x + ((static_cast<s64>(fifth) - static_cast<s64>(5461) * a) >> 16));
}

s16 orvmath_fix_cosToPi(s32 angle) {
    const s32 d = absWrapped(angle);
    if (d <= ORVMATH_PI_BY_4) return orvmath_fix_cosToPiBy4(d);
    if (d > ORVMATH_3PI_BY_4) return static_cast<s16>(-orvmath_fix_cosToPiBy4(orv::wrapSub32(d, ORVMATH_PI)));
    return orvmath_fix_sinToPiBy4(ORVMATH_PI_BY_2 - d);
}

s16 orvmath_fix_cosTo2Pi(s32 angle) {
    const s32 d = absWrapped(angle);
    if (d <= ORVMATH_PI) return orvmath_fix_cosToPi(d);
    return static_cast<s16>(-orvmath_fix_cosToPi(orv::wrapSub32(d, ORVMATH_PI)));
}

s16 orvmath_fix_sinTo2Pi(s32 angle) {
    return orvmath_fix_cosTo2Pi(orv::wrapSub32(angle, ORVMATH_PI_BY_2));
}

u32 orvmath_fix_bilinearPrewarp(u16 freq, u8 *inverted) {
    u32 f = freq;
    *inverted = 0;
    if (freq > 0x8000) {
        f = 65535u - freq;
        *inverted = 1;
    }
    return ((f * f) >> 16) * ((f * 60326u) >> 16) + f * 50185u;
}
