// The short kernels: nearest frame, linear and three-point (quadratic) interpolation.
#include "orvsys/orvfixed.h"
#include "resampler/resampler_internal.h"

namespace orv::rs {

namespace {

// A frame next to idx (delta -1 or +1), wrapping around the buffer.
inline const audio16 *frameAt(const audio16 *buffer, u32 size, s32 idx, s32 delta, u32 channels) {
    return buffer + static_cast<std::size_t>(circularIndex(s64{idx} + delta, size)) * channels;
}

} // namespace

// Frame idx up to a fraction of 126/16384, frame idx + 1 beyond.
template <u32 CH>
s32 kernelNearest(resampler_struct *r, audio16 *out, s32 n) {
    return readFrames<CH>(r, out, n, 0, 1,
                          [](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
                              const audio16 *s = frameAt(buffer, size, idx, frac <= 126 ? 0 : 1, CH);
                              for (u32 c = 0; c < CH; ++c) o[c] = s[c];
                          });
}

template <u32 CH>
s32 kernelLinear(resampler_struct *r, audio16 *out, s32 n) {
    return readFrames<CH>(r, out, n, 0, 1,
                          [](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
                              const audio16 *s0 = frameAt(buffer, size, idx, 0, CH);
                              const audio16 *s1 = frameAt(buffer, size, idx, 1, CH);
                              for (u32 c = 0; c < CH; ++c)
                                  o[c] = static_cast<audio16>((((kOneFrame - frac) * s0[c]) >> kFracBits) +
                                                              ((frac * s1[c]) >> kFracBits));
                          });
}

// Lagrange weights t(t - 1)/2, 1 - t^2, t(t + 1)/2 at t = frac / 0x4000 from a = t 2^8,
// b = (t + 1) 2^8, c = (t - 1) 2^8 and d = -c, all taken from the same 8 bits of the
// fraction so that the weights sum to exactly 1.0 and a constant passes unchanged.
s32 kernelThreePointMono(resampler_struct *r, audio16 *out, s32 n) {
    return readFrames<1>(r, out, n, 1, 1, [](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
        const s64 a = frac >> 6;
        const s64 b = (frac + kOneFrame) >> 6;
        const s64 c = (frac - kOneFrame) >> 6;
        const s64 d = -c;
        const s64 sum = *frameAt(buffer, size, idx, 1, 1) * a * b +
                        *frameAt(buffer, size, idx, -1, 1) * a * c +
                        *frameAt(buffer, size, idx, 0, 1) * b * d * 2;
        o[0] = sat16(sum >> 17);
    });
}

// The same weights in Q16 from q = frac^2 >> 12; a fraction of 0 copies frame idx exactly.
s32 kernelThreePointStereo(resampler_struct *r, audio16 *out, s32 n) {
    return readFrames<2>(r, out, n, 1, 1, [](const audio16 *buffer, u32 size, s32 idx, s32 frac, audio16 *o) {
        const audio16 *s0 = frameAt(buffer, size, idx, 0, 2);
        if (frac == 0) {
            o[0] = s0[0];
            o[1] = s0[1];
            return;
        }
        const audio16 *sm = frameAt(buffer, size, idx, -1, 2);
        const audio16 *sp = frameAt(buffer, size, idx, 1, 2);
        const s32 q = (frac * frac) >> 12;
        const s64 wm = (q - 4 * frac) >> 2;
        const s64 w0 = (0x10000 - q) >> 1;
        const s64 wp = (4 * frac + q) >> 2;
        for (u32 c = 0; c < 2; ++c) {
            const s64 sum = ((sm[c] * wm) >> 16) + ((s0[c] * w0) >> 16) + ((sp[c] * wp) >> 16);
            o[c] = sat16(sum * 2);
        }
    });
}

template s32 kernelNearest<1>(resampler_struct *, audio16 *, s32);
template s32 kernelNearest<2>(resampler_struct *, audio16 *, s32);
template s32 kernelLinear<1>(resampler_struct *, audio16 *, s32);
template s32 kernelLinear<2>(resampler_struct *, audio16 *, s32);

} // namespace orv::rs
