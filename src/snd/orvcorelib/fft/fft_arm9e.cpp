#include "fft/fft_arm9e.h"

#include "fft/c4096.h"
#include "fft/fftr1d_packing.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstdlib>

namespace {

using orv::sat16;

struct Cplx {
    s32 re;
    s32 im;
};

Cplx operator+(Cplx a, Cplx b) {
    return {a.re + b.re, a.im + b.im};
}
Cplx operator-(Cplx a, Cplx b) {
    return {a.re - b.re, a.im - b.im};
}

// Q15 twiddle (cos, -sin) of the angle pi * idx / 4096 for idx < 8192. The second half turn
// is the first one negated; truncation toward zero is symmetric, so this is exact.
Cplx twiddleAt(u32 idx) {
    if (idx < C4096_PAIRS) return {C4096[2 * idx], C4096[2 * idx + 1]};
    idx -= C4096_PAIRS;
    return {-C4096[2 * idx], -C4096[2 * idx + 1]};
}

u32 log4(u32 len) {
    u32 digits = 0;
    while (len > 1) {
        len >>= 2;
        ++digits;
    }
    return digits;
}

u32 reverseBase4(u32 value, u32 digits) {
    u32 reversed = 0;
    for (u32 d = 0; d < digits; ++d) {
        reversed = (reversed << 2) | (value & 3);
        value >>= 2;
    }
    return reversed;
}

// One radix-4 pass scales by 1/4 (forward) or 1/2 (inverse): the untwiddled leg by a shift,
// the twiddled legs through the Q15 product's shift.
template <bool Inverse>
struct Radix4 {
    static constexpr int kShift = Inverse ? 1 : 2;

    static Cplx load(const audio_t *v, u32 i) { return {v[2 * i] >> kShift, v[2 * i + 1] >> kShift}; }

    // v[i] * w. |re * c| + |im * s| <= 32768 * (|c| + |s|) <= 32768 * 32767 * sqrt(2) < 2^31,
    // so the 32-bit sums cannot overflow.
    static Cplx rotate(const audio_t *v, u32 i, Cplx w) {
        const s32 s = Inverse ? -w.im : w.im;
        const s32 re = v[2 * i];
        const s32 im = v[2 * i + 1];
        return {(re * w.re - im * s) >> (15 + kShift), (re * s + im * w.re) >> (15 + kShift)};
    }

    static void store(audio_t *v, u32 i, Cplx x) {
        v[2 * i] = sat16(x.re);
        v[2 * i + 1] = sat16(x.im);
    }

    // 4-point DFT of a0..a3 into out[i], out[i + stride], out[i + 2 stride], out[i + 3 stride].
    static void butterfly(Cplx a0, Cplx a1, Cplx a2, Cplx a3, audio_t *out, u32 i, u32 stride) {
        const Cplx s02 = a0 + a2;
        const Cplx d02 = a0 - a2;
        const Cplx s13 = a1 + a3;
        const Cplx d13 = a1 - a3;
        const Cplx minusJ = {d02.re + d13.im, d02.im - d13.re}; // d02 - j d13
        const Cplx plusJ = {d02.re - d13.im, d02.im + d13.re};  // d02 + j d13
        store(out, i, s02 + s13);
        store(out, i + stride, Inverse ? plusJ : minusJ);
        store(out, i + 2 * stride, s02 - s13);
        store(out, i + 3 * stride, Inverse ? minusJ : plusJ);
    }

    // First pass: 4-point transforms of the inputs len/4 apart, gathered in digit-reversed order.
    static void firstPass(audio_t *out, const audio_t *in, u32 len) {
        const u32 quarter = len / 4;
        const u32 digits = log4(len) - 1;
        for (u32 g = 0; g < quarter; ++g) {
            const u32 r = reverseBase4(g, digits);
            butterfly(load(in, r), load(in, r + quarter), load(in, r + 2 * quarter),
                      load(in, r + 3 * quarter), out, 4 * g, 1);
        }
    }

    // Later passes in place: legs `span` apart, leg t of column q turned by e^(-+j 2 pi q t / (4 span)).
    static void laterPass(audio_t *out, u32 len, u32 span) {
        const u32 step = 2048 / span; // table index of the angle 2 pi / (4 span)
        for (u32 base = 0; base < len; base += 4 * span) {
            for (u32 q = 0; q < span; ++q) {
                const u32 i = base + q;
                butterfly(load(out, i), rotate(out, i + span, twiddleAt(q * step)),
                          rotate(out, i + 2 * span, twiddleAt(2 * q * step)),
                          rotate(out, i + 3 * span, twiddleAt(3 * q * step)), out, i, span);
            }
        }
    }

    static void transform(audio_t *out, const audio_t *in, u32 len) {
        if (len == 1) {
            out[0] = in[0];
            out[1] = in[1];
            return;
        }
        firstPass(out, in, len);
        for (u32 span = 4; span < len; span *= 4) laterPass(out, len, span);
    }
};

} // namespace

void fft_16_arm9e(audio_t *out, const audio_t *in, u32 len) {
    Radix4<false>::transform(out, in, len);
}

void ifft_16_arm9e(audio_t *out, const audio_t *in, u32 len) {
    Radix4<true>::transform(out, in, len);
}

void rfft2core_arm9e(const audio_t *t, audio_t *x, u32 m, const audio16 *table, u32 skip) {
    const u32 n = 1u << m;
    const u32 points = n / 2; // complex values in t
    x[0] = sat16((t[0] + t[1]) >> 1);
    x[1] = sat16((t[0] - t[1]) >> 1);
    for (u32 k = 1; k <= n / 4; ++k) {
        const s32 c = table[k * skip]; // pair k * skip / 2: cos and -sin of 2 pi k / n
        const s32 s = table[k * skip + 1];
        const s32 e = t[2 * k];
        const s32 l = t[2 * k + 1];
        const s32 f = t[2 * (points - k)];
        const s32 h = t[2 * (points - k) + 1];
        // |d| <= 65535 and |o| <= 65536 against |c|, |s| <= 32767: the products fit 32 bits.
        const s32 d = f - e;
        const s32 o = -h - l;
        const s32 r = (d * c) >> 5;
        const s32 u = (o * s) >> 5;
        const s32 v = (o * c) >> 5;
        const s32 w = (d * s) >> 5;
        const s32 sum = (e + f) * 1024;
        const s32 diff = (l - h) * 1024;
        x[2 * k] = sat16((sum - v - w) >> 12);
        x[2 * k + 1] = sat16((r + diff - u) >> 12);
        // At k = n/4 both bins are one; this second write is the one that stays.
        x[n - 2 * k] = sat16((sum + v + w) >> 12);
        x[n - 2 * k + 1] = sat16((r - diff - u) >> 12);
    }
}

void rfft4core_arm9e(audio_t *f, const audio_t *E, const audio_t *O, u32 m, const audio16 *table, u32 skip) {
    const u32 n = 1u << m;
    f[0] = sat16((E[0] + O[0]) >> 1);
    f[1] = sat16((E[0] - O[0]) >> 1);
    for (u32 k = 1; k < n / 4; ++k) {
        const s32 c = table[k * skip];
        const s32 s = table[k * skip + 1];
        const s32 t = E[2 * k];
        const s32 g = E[2 * k + 1];
        const s32 o = O[2 * k];
        const s32 r = O[2 * k + 1];
        const s32 u = (o * c) >> 5;
        const s32 v = (r * s) >> 5;
        const s32 w = ((r * c) >> 5) + ((o * s) >> 5);
        f[2 * k] = sat16((u + 1024 * t - v) >> 11);
        f[2 * k + 1] = sat16((w + 1024 * g) >> 11);
        f[n - 2 * k] = sat16((1024 * t + v - u) >> 11);
        f[n - 2 * k + 1] = sat16((w - 1024 * g) >> 11);
    }
    // Bin n/4 from the two Nyquist values: E + (-j) O.
    f[n / 2] = sat16(E[1] >> 1);
    f[n / 2 + 1] = sat16((-s32{O[1]}) >> 1);
}

void rfft2(audio_t *x, audio_t *tmp, u32 m) {
    if (m == 0) return;
    if (m == 1) { // a plain two-point transform, scaled by 1/2
        const s32 a = x[0];
        const s32 b = x[1];
        x[0] = sat16((a + b) >> 1);
        x[1] = sat16((a - b) >> 1);
        return;
    }
    fft_16_arm9e(tmp, x, (1u << m) / 2);
    rfft2core_arm9e(tmp, x, m, C4096.data(), C4096_PAIRS >> (m - 2));
}

void rfft4(audio_t *x, audio_t *tmp, u32 m) {
    const u32 n = 1u << m;
    const u32 half = n / 2;
    audio_t *even = tmp;
    audio_t *odd = tmp + half;
    for (u32 i = 0; i < half; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    rfft2(even, tmp + n, m - 1);
    rfft2(odd, tmp + n, m - 1);
    rfft4core_arm9e(x, even, odd, m, C4096.data(), C4096_PAIRS >> (m - 2));
}

void rfft(audio_t *x, audio_t *tmp, u32 m) {
    if (m % 2 == 1 || m == 0)
        rfft2(x, tmp, m);
    else
        rfft4(x, tmp, m);
}

void irfft4_arm9e(audio_t *x, audio_t *tmp, u32 m) {
    const u32 n = 1u << m;
    audio_t *spectrum = tmp;
    audio_t *signal = tmp + 2 * n;
    // Block exponent: use the headroom the largest part leaves (mirrored parts have the same size).
    s32 largest = 0;
    for (u32 i = 0; i < n; ++i) largest = std::max(largest, std::abs(s32{x[i]}));
    const int preShift = largest <= 8191 ? 2 : (largest <= 16383 ? 1 : 0);
    for (u32 k = 0; k < n; ++k) {
        const orv::fft::Bin bin = orv::fft::packedBin(x, n, k);
        spectrum[2 * k] = sat16(bin.re * (1 << preShift));
        spectrum[2 * k + 1] = sat16(bin.im * (1 << preShift));
    }
    ifft_16_arm9e(signal, spectrum, n);
    const int outShift = static_cast<int>(m / 2) - preShift;
    for (u32 i = 0; i < n; ++i) {
        const s32 re = signal[2 * i];
        x[i] = sat16(outShift >= 0 ? orv::shlSat32(re, outShift) : re >> -outShift);
    }
}
