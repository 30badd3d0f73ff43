// Shared pieces of the resampler's kernels: Q14 position helpers, circular frame access, the
// bounds rule and the kernel table. Internal to the resampler.
#pragma once

#include "resampler/resampler.h"

#include <cstddef>
#include <cstring>

namespace orv::rs {

inline constexpr s32 kOneFrame = 0x4000;
inline constexpr s32 kFracMask = 0x3FFF;
inline constexpr s32 kFracBits = 14;

// A frame index reduced into [0, size), however far outside it lies. Needs size > 0.
inline u32 circularIndex(s64 i, u32 size) {
    if (i >= 0 && i < static_cast<s64>(size)) return static_cast<u32>(i);
    s64 m = i % static_cast<s64>(size);
    return static_cast<u32>(m < 0 ? m + size : m);
}

// x moved by one buffer length toward [0, size) when it lies just outside.
inline s64 wrapOnce(s64 x, s64 size) {
    return x >= size ? x - size : (x < 0 ? x + size : x);
}

// True when a read of frames first..last would leave the region set by resampler_setBoundsInp.
bool outsideBoundsSlow(const resampler_struct &r, s64 first, s64 last);
inline bool outsideBounds(const resampler_struct &r, s64 first, s64 last) {
    return r.lowerBound >= 0 && r.upperBound >= 0 && outsideBoundsSlow(r, first, last);
}

// Zeroes frames from..n-1 of out.
inline void zeroFrames(audio16 *out, s32 from, s32 n, u32 channels) {
    if (from < n)
        std::memset(out + static_cast<std::size_t>(from) * channels, 0,
                    static_cast<std::size_t>(n - from) * channels * sizeof(audio16));
}

// Prints the underrun notice, at most once per second of audio read by this resampler.
void reportUnderrun(resampler_struct &r);

// The kernel of a method for one or two channels; null for a method outside the enumeration.
resampler_kernel kernelFor(resampler_method method, u32 numChannels);

// Taps owned by the FIR methods.
inline constexpr u32 kTableTapCount = 98;

// Kernels. Each reads r->iBufferSize > 0 frames at r->pBuffer from r->fRPtrInp at r->fRate,
// stores the new position, zero-fills what it does not produce and returns the frames produced.
template <u32 CH>
s32 kernelNearest(resampler_struct *r, audio16 *out, s32 n);
template <u32 CH>
s32 kernelLinear(resampler_struct *r, audio16 *out, s32 n);
s32 kernelThreePointMono(resampler_struct *r, audio16 *out, s32 n);
s32 kernelThreePointStereo(resampler_struct *r, audio16 *out, s32 n);
template <u32 CH>
s32 kernelTableFir(resampler_struct *r, audio16 *out, s32 n);
template <u32 CH>
s32 kernelWindowedSinc(resampler_struct *r, audio16 *out, s32 n);
s32 kernelTwoStageStereo(resampler_struct *r, audio16 *out, s32 n);

// The read loop shared by all kernels but the two-stage one. For each output frame it
// advances the position by the rate, stops before a frame whose reach (frames idx - before
// to idx + after) leaves the bounds or whose index lies outside the buffer after one wrap,
// stores the wrapped position and calls interpolate(buffer, size, idx, frac, outFrame).
template <u32 CH, typename Interpolate>
s32 readFrames(resampler_struct *r, audio16 *out, s32 n, s32 before, s32 after, Interpolate interpolate) {
    const s32 size = static_cast<s32>(r->iBufferSize);
    const s32 rate = r->fRate;
    const audio16 *buffer = r->pBuffer;
    s32 pos = r->fRPtrInp;
    s32 produced = 0;
    for (; produced < n; ++produced) {
        s32 next = pos + rate;
        s32 idx = next >> kFracBits;
        if (outsideBounds(*r, s64{idx} - before, s64{idx} + after)) break;
        if (idx >= size) {
            idx -= size;
            next -= size << kFracBits;
        } else if (idx < 0) {
            idx += size;
            next += size << kFracBits;
        }
        if (idx < 0 || idx >= size) break;
        pos = next;
        interpolate(buffer, static_cast<u32>(size), idx, next & kFracMask,
                    out + static_cast<std::size_t>(produced) * CH);
    }
    r->fRPtrInp = pos;
    zeroFrames(out, produced, n, CH);
    return produced;
}

} // namespace orv::rs
