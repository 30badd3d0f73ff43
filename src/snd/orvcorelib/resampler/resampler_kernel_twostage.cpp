// The decks' stereo kernel, in two stages: a 13-tap FIR from GSTAB2 onto a grid of points
// spaced by the rate rounded up to 1/8 frame, then linear interpolation between grid frames.
// The expensive filter runs at most about once per output frame, and whole-frame grid points
// are plain copies, so rate 1.0 on a whole frame reproduces the input exactly.
#include "orvsys/orvfixed.h"
#include "resampler/resampler_internal.h"
#include "resampler/resampler_tables.h"

namespace orv::rs {

namespace {

constexpr s32 kEighth = 0x800;
// Frames the grid filter reads around its point, for the bounds rule.
constexpr s32 kGridReach = 7;

// The grid step: |rate| rounded up to a multiple of 1/8 frame, at least 1/8 (so that rate 0
// still walks the grid), with the sign of the rate.
s32 gridStep(s32 rate) {
    const s32 magnitude = rate < 0 ? -rate : rate;
    const s32 step = magnitude == 0 ? kEighth : (magnitude + kEighth - 1) & ~(kEighth - 1);
    return rate < 0 ? -step : step;
}

// One stereo grid frame at point (Q14): a copy of the whole frame near it, else GSTAB2's
// phase for its fraction over frames idx - 5 .. idx + 7.
void gridFrame(const audio16 *buffer, u32 size, s32 idx, s32 point, audio16 *o) {
    if (((point - 1025) & kFracMask) > 14335) {
        o[0] = buffer[static_cast<std::size_t>(idx) * 2];
        o[1] = buffer[static_cast<std::size_t>(idx) * 2 + 1];
        return;
    }
    const s32 phase = (0x22000 - (point & kFracMask) * 8) >> kFracBits;
    const s16 *taps = GSTAB2.data() + phase;
    // The table's phase gain bound keeps these 32-bit sums from overflowing.
    s32 left = 0;
    s32 right = 0;
    if (idx >= 5 && static_cast<s64>(idx) + 7 < static_cast<s64>(size)) {
        const audio16 *s = buffer + static_cast<std::size_t>(idx - 5) * 2;
        for (s32 j = 0; j < kGstab2Taps; ++j) {
            left += s[2 * j] * taps[kGstab2Phases * j];
            right += s[2 * j + 1] * taps[kGstab2Phases * j];
        }
    } else {
        for (s32 j = 0; j < kGstab2Taps; ++j) {
            const audio16 *s = buffer + static_cast<std::size_t>(circularIndex(s64{idx} - 5 + j, size)) * 2;
            left += s[0] * taps[kGstab2Phases * j];
            right += s[1] * taps[kGstab2Phases * j];
        }
    }
    o[0] = sat16(left >> 15);
    o[1] = sat16(right >> 15);
}

// Stage 1: walks the grid from the whole frame at the position (backwards: at or above it)
// to one frame past the span of n outputs, into r->pGrid. Starting on a whole frame with a
// step of whole eighths, every grid point lies on an eighth of a frame. Stops early at the bounds or at
// an index that one wrap does not bring into the buffer. Returns the grid frames made.
s32 fillGrid(resampler_struct *r, s32 pos, s32 step, s32 n) {
    const s32 size = static_cast<s32>(r->iBufferSize);
    const bool forward = step > 0;
    const s64 start = forward ? (pos & ~kFracMask) : ((s64{pos} + kFracMask) & ~s64{kFracMask});
    const s64 end = s64{pos} + s64{n} * r->fRate + (forward ? kFracMask : -kFracMask);
    s32 count = 0;
    for (s64 point = start; count < RESAMPLER_MAX_GRID_FRAMES; point += step) {
        if (forward ? point > end : point < end) break;
        s32 idx = static_cast<s32>(point >> kFracBits);
        if (outsideBounds(*r, s64{idx} - kGridReach, s64{idx} + kGridReach)) break;
        idx = static_cast<s32>(wrapOnce(idx, size));
        if (idx < 0 || idx >= size) {
            reportUnderrun(*r);
            break;
        }
        gridFrame(r->pBuffer, r->iBufferSize, idx, static_cast<s32>(point), r->pGrid + 2 * count);
        ++count;
    }
    return count;
}

// Stage 2: outputs between grid frames, starting at the position's place on the grid.
s32 interpolateGrid(const audio16 *grid, s32 count, s32 pos, s32 rate, s32 step, audio16 *out, s32 n) {
    const s32 frac = pos & kFracMask;
    const s32 magnitude = step < 0 ? -step : step;
    s32 offset = 0; // Q14 grid units from the first grid frame
    if (step > 0)
        offset = (frac << kFracBits) / magnitude;
    else if (frac != 0)
        offset = ((kOneFrame - frac) << kFracBits) / magnitude;
    const s32 increment = static_cast<s32>(s64{rate} * kOneFrame / step);
    s32 k = 0;
    for (; k < n; ++k, offset += increment) {
        const s32 j = (offset >> kFracBits) + 1;
        if (j >= count) break;
        const s32 t = offset & kFracMask;
        const audio16 *g0 = grid + 2 * (j - 1);
        const audio16 *g1 = grid + 2 * j;
        out[2 * k] = static_cast<audio16>(g0[0] + ((t * (g1[0] - g0[0])) >> kFracBits));
        out[2 * k + 1] = static_cast<audio16>(g0[1] + ((t * (g1[1] - g0[1])) >> kFracBits));
    }
    return k;
}

// The position moves by n * rate whatever was read, reduced into the buffer by whole
// lengths so that repeated reads never run it out of 32 bits.
s32 advancedPosition(s32 pos, s32 rate, s32 n, u32 size) {
    const s64 span = s64{size} << kFracBits;
    s64 next = (s64{pos} + s64{n} * rate) % span;
    if (next < 0) next += span;
    return static_cast<s32>(next);
}

} // namespace

s32 kernelTwoStageStereo(resampler_struct *r, audio16 *out, s32 n) {
    const s32 served = n < RESAMPLER_MAX_GRID_FRAMES ? n : RESAMPLER_MAX_GRID_FRAMES;
    const s32 pos = r->fRPtrInp;
    const s32 rate = r->fRate;
    const s32 step = gridStep(rate);
    const s32 count = fillGrid(r, pos, step, served);
    s32 produced = 0;
    if ((step < 0 ? -step : step) > (rate < 0 ? -rate : rate)) {
        produced = interpolateGrid(r->pGrid, count, pos, rate, step, out, served);
    } else {
        produced = count < served ? count : served;
        std::memcpy(out, r->pGrid, static_cast<std::size_t>(produced) * 2 * sizeof(audio16));
    }
    r->fRPtrInp = advancedPosition(pos, rate, n, r->iBufferSize);
    zeroFrames(out, produced, n, 2);
    return produced;
}

} // namespace orv::rs
