// The FIR kernels: the anti-aliasing filter from the GSTAB table and the windowed sinc
// computed per output frame.
#include "orvmath/orvmath.h"
#include "orvsys/orvfixed.h"
#include "resampler/resampler_internal.h"
#include "resampler/resampler_tables.h"

#include <cstddef>

namespace orv::rs {

namespace {

// Sum over taps i of s[idx + half - i] * taps[i] for one channel, wrapping around the buffer
// only when the taps reach past one of its ends.
template <u32 CH>
s64 filterChannel(const audio16 *buffer, u32 size, s32 idx, s32 half, const s32 *taps, s32 count, u32 c) {
    s64 sum = 0;
    const s64 first = s64{idx} + half - (count - 1);
    if (first >= 0 && s64{idx} + half < static_cast<s64>(size)) {
        const audio16 *s = buffer + (static_cast<std::size_t>(idx) + static_cast<std::size_t>(half)) * CH + c;
        for (s32 i = 0; i < count; ++i) sum += s64{s[-static_cast<std::ptrdiff_t>(i) * CH]} * taps[i];
        return sum;
    }
    for (s32 i = 0; i < count; ++i)
        sum += s64{buffer[static_cast<std::size_t>(circularIndex(s64{idx} + half - i, size)) * CH + c]} *
               taps[i];
    return sum;
}

// The table filter's layout for one rate: table step c, half length f, table offset e and
// the shifts that keep a constant input at its level.
struct TableLayout {
    s32 step, half, offset, coefShift, outShift, multiplier;
};

TableLayout tableLayoutFor(s32 rate) {
    const s64 magnitude = rate < 0 ? -s64{rate} : s64{rate};
    if (magnitude <= kOneFrame) return {4, 6, 0, 0, 15, 1};
    // Above 1.0 the cut-off falls with the rate: wider table steps over fewer frames.
    s32 step = static_cast<s32>(0x10000 / magnitude);
    if (step == 0) step = 1;
    const s32 half = 24 / step;
    s32 shift = 1;
    while ((step << (shift - 1)) < 4) ++shift;
    return {step, half, 24 - half * step, shift, 17 - shift, step};
}

// Taps 1..2f of the table filter for one fraction into taps[1..]; tap 0 is always 0.
void tableTaps(const TableLayout &l, s32 frac, bool interpolate, s32 *taps) {
    const s32 t = (l.offset + l.step) * kOneFrame - l.step * frac;
    const s32 count = 2 * l.half;
    taps[0] = 0;
    for (s32 i = 1; i <= count; ++i) {
        const s32 span = l.step * (count - i);
        if (interpolate) {
            const std::size_t k = static_cast<std::size_t>((t >> kFracBits) + span);
            const s32 v = GSTAB[k] * kOneFrame + (t & kFracMask) * (GSTAB[k + 1] - GSTAB[k]);
            taps[i] = v >> (kFracBits + l.coefShift);
        } else {
            taps[i] = GSTAB[static_cast<std::size_t>(((t + 128) >> kFracBits) + span)] >> l.coefShift;
        }
    }
}

// The Hann window over 2 half + 1 frames at distance x (Q14 frames); 0 outside it.
s32 hannWindow(s64 x, u32 half) {
    const s64 width = (2 * s64{half} + 1) << kFracBits;
    if (2 * (x < 0 ? -x : x) >= width) return 0;
    const s32 angle = static_cast<s32>(x * ORVMATH_2PI / width);
    return (orvmath_fix_cosTo2Pi(angle) + 0x8000) >> 1;
}

// sin(pi x) / (pi x) in Q15 at x (Q14 frames), from the library's cosine.
s32 sincQ15(s64 x) {
    if (x == 0) return 0x7FFF;
    const s64 theta = x * ORVMATH_PI / kOneFrame; // Q15 radians
    s64 reduced = (theta + ORVMATH_PI) % ORVMATH_2PI;
    if (reduced < 0) reduced += ORVMATH_2PI;
    reduced -= ORVMATH_PI;
    const s64 sine = orvmath_fix_cosTo2Pi(static_cast<s32>(reduced) - ORVMATH_PI_BY_2);
    const s64 sinc = (sine << 15) / theta;
    return static_cast<s32>(sinc > 0x7FFF ? 0x7FFF : (sinc < -0x8000 ? -0x8000 : sinc));
}

// Windowed-sinc taps for one fraction, normalised to a sum of 1.0 (Q15) so that a constant
// passes at its level; above rate 1.0 the cut-off falls to 1/rate against aliasing.
void computeFiltCoeffs(s32 *taps, s32 frac, s32 rate, u32 half) {
    const s64 magnitude = rate < 0 ? -s64{rate} : s64{rate};
    const s32 count = static_cast<s32>(2 * half + 1);
    if (frac == 0 && magnitude <= 256) {
        for (s32 i = 0; i < count; ++i) taps[i] = 0;
        taps[half] = 0x7FFF;
        return;
    }
    s64 sum = 0;
    for (s32 i = 0; i < count; ++i) {
        const s64 x = frac + s64{i - static_cast<s32>(half)} * kOneFrame;
        const s64 scaled = magnitude > kOneFrame ? x * kOneFrame / magnitude : x;
        taps[i] = (sincQ15(scaled) * hannWindow(x, half)) >> 15;
        sum += taps[i];
    }
    if (sum <= 0) return;
    for (s32 i = 0; i < count; ++i) taps[i] = static_cast<s32>((s64{taps[i]} * 0x8000 + sum / 2) / sum);
}

} // namespace

// An anti-aliasing FIR from GSTAB. At rates up to 1.0 it spans 12 frames; above, the table
// is stepped more finely over more frames so that the cut-off follows the rate. Its
// interpolation point lies one frame behind the position.
template <u32 CH>
s32 kernelTableFir(resampler_struct *r, audio16 *out, s32 n) {
    const TableLayout l = tableLayoutFor(r->fRate);
    const bool interpolate = r->iFilterWinTabIntFlag != 0;
    s32 *taps = r->pB;
    const s32 count = 2 * l.half + 1;
    return readFrames<CH>(r, out, n, l.half + 1, l.half + 1,
                          [&](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
                              tableTaps(l, frac, interpolate, taps);
                              for (u32 c = 0; c < CH; ++c) {
                                  const s64 sum =
                                      filterChannel<CH>(buffer, size, idx, l.half, taps, count, c);
                                  o[c] = sat16((sum * l.multiplier) >> l.outShift);
                              }
                          });
}

// A Hann-windowed sinc over 2 half + 1 frames centred on the position. The output keeps the
// sample's top 15 bits (bit 0 cleared).
template <u32 CH>
s32 kernelWindowedSinc(resampler_struct *r, audio16 *out, s32 n) {
    const s32 half = static_cast<s32>(r->iFilterHalfLen);
    const s32 rate = r->fRate;
    s32 *taps = r->pB;
    return readFrames<CH>(
        r, out, n, half + 1, half + 1, [&](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
            computeFiltCoeffs(taps, frac, rate, static_cast<u32>(half));
            for (u32 c = 0; c < CH; ++c) {
                const s64 sum = filterChannel<CH>(buffer, size, idx, half, taps, 2 * half + 1, c);
                o[c] = static_cast<audio16>(sat16(sum >> 15) & ~1);
            }
        });
}

template s32 kernelTableFir<1>(resampler_struct *, audio16 *, s32);
template s32 kernelTableFir<2>(resampler_struct *, audio16 *, s32);
template s32 kernelWindowedSinc<1>(resampler_struct *, audio16 *, s32);
template s32 kernelWindowedSinc<2>(resampler_struct *, audio16 *, s32);

} // namespace orv::rs
