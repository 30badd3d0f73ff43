#include "fft/fix_fft.h"

#include "orvmath/constexpr_trig.h"
#include "orvsys/orvfixed.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace {

constexpr u32 kTurn = 1u << FIX_FFT_MAX_LOG2; // table points per full turn

constexpr std::array<audio16, kTurn * 3 / 4> makeSineTable() {
    std::array<audio16, kTurn * 3 / 4> table{};
    for (u32 i = 0; i < table.size(); ++i) {
        const double v = 32767.0 * orv::constexprSinPi(2 * s64{i}, kTurn);
        table[i] = static_cast<audio16>(v < 0 ? v - 0.5 : v + 0.5);
    }
    return table;
}

constexpr std::array<audio16, kTurn * 3 / 4> kSine = makeSineTable();

s32 mulQ15Rounded(s32 a, s32 b) {
    return orv::mulShiftRound(a, b, 15);
}

void bitReverse(audio_t *fr, audio_t *fi, u32 n) {
    u32 reversed = 0;
    for (u32 i = 1; i < n; ++i) {
        // Add one to `reversed` counting from its top bit.
        u32 bit = n >> 1;
        while (reversed & bit) {
            reversed ^= bit;
            bit >>= 1;
        }
        reversed |= bit;
        if (i < reversed) {
            std::swap(fr[i], fr[reversed]);
            std::swap(fi[i], fi[reversed]);
        }
    }
}

bool exceedsHalfScale(const audio_t *fr, const audio_t *fi, u32 n) {
    for (u32 i = 0; i < n; ++i)
        if (std::abs(s32{fr[i]}) > 16383 || std::abs(s32{fi[i]}) > 16383) return true;
    return false;
}

// One stage: butterflies of values `half` apart, the lower leg turned by e^(-+j pi q / half).
void radix2Stage(audio_t *fr, audio_t *fi, u32 n, u32 half, bool inverse, int shift) {
    const u32 step = kTurn / (2 * half);
    for (u32 q = 0; q < half; ++q) {
        const s32 c = kSine[q * step + kTurn / 4];
        const s32 s = inverse ? kSine[q * step] : -kSine[q * step];
        for (u32 i = q; i < n; i += 2 * half) {
            const u32 j = i + half;
            const s32 tr = mulQ15Rounded(c, fr[j]) - mulQ15Rounded(s, fi[j]);
            const s32 ti = mulQ15Rounded(c, fi[j]) + mulQ15Rounded(s, fr[j]);
            const s32 qr = fr[i];
            const s32 qi = fi[i];
            fr[i] = orv::sat16((qr + tr) >> shift);
            fi[i] = orv::sat16((qi + ti) >> shift);
            fr[j] = orv::sat16((qr - tr) >> shift);
            fi[j] = orv::sat16((qi - ti) >> shift);
        }
    }
}

} // namespace

audio16 fix_fft_sine(u32 i) {
    return kSine[i];
}

s32 fix_fft(audio_t *fr, audio_t *fi, u32 m, bool inverse) {
    if (m > FIX_FFT_MAX_LOG2) return -1;
    const u32 n = 1u << m;
    bitReverse(fr, fi, n);
    s32 halvings = 0;
    for (u32 half = 1; half < n; half *= 2) {
        const bool halve = !inverse || exceedsHalfScale(fr, fi, n);
        if (inverse && halve) ++halvings;
        radix2Stage(fr, fi, n, half, inverse, halve ? 1 : 0);
    }
    return halvings;
}
