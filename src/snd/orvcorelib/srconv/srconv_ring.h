// Limits and position arithmetic shared by the converter's sizing queries and its process step.
#pragma once

#include "srconv/srconv.h"

namespace srconv_detail {

inline constexpr u32 kFracBits = 12;
inline constexpr u32 kFracMask = (1u << kFracBits) - 1;
inline constexpr u32 kMaxChannels = 8;

// Input frames on each side of the output position that the filter reaches.
inline u32 halfTaps(const srconv_handle &h) {
    return (h.polyphaseFir->numTaps - 1) >> 1;
}

// The highest integer read position whose output the frames written so far (plus
// `extra` more) complete; negative when none does yet. The filter reads up to frame
// (readOffset >> 12) + halfTaps, so that frame must already be in the ring.
inline s64 lastReadablePosition(const srconv_handle &h, s64 extra) {
    return static_cast<s64>(h.writOffset) + extra - halfTaps(h) - 1;
}

} // namespace srconv_detail
