// Interpolation filter tables: a Kaiser-windowed sinc (beta 9.0, over +-6 frames) sampled
// on fixed grids, scaled to 32767 at the centre. Entry k of GSTAB is
// 32767 sinc((k - 24)/4) w((k - 24)/4) truncated toward zero (4 entries per frame); entry k
// of GSTAB2 is 32767 sinc((k - 48)/8) w((k - 48)/8) rounded to nearest (8 per frame). The
// entries past +6 frames are zero, so a tap index may run one table step beyond the window.
#pragma once

#include "orvsys/orvint.h"

#include <array>
#include <cstddef>

namespace orv::rs {

inline constexpr std::array<s32, 57> GSTAB = {
    0,     -4,    -13,   -19,   0,     60,   136,  147,   0,     -310,  -612,  -591,  0,    1047, 1933,
    1767,  0,     -2915, -5312, -4898, 0,    9200, 20253, 29284, 32767, 29284, 20253, 9200, 0,    -4898,
    -5312, -2915, 0,     1767,  1933,  1047, 0,    -591,  -612,  -310,  0,     147,   136,  60,   0,
    -19,   -13,   -4,    0,     0,     0,    0,    0,     0,     0,     0,     0,
};
inline constexpr s32 kGstabCentre = 24;
inline constexpr s32 kGstabStepsPerFrame = 4;

inline constexpr std::array<s16, 105> GSTAB2 = {
    0,     -1,    -4,    -9,    -14,   -19,   -20,   -15,   0,     25,    61,   100,  137,   157,   147,
    97,    0,     -141,  -310,  -480,  -612,  -663,  -591,  -371,  0,     494,  1048, 1566,  1933,  2033,
    1767,  1085,  0,     -1393, -2916, -4320, -5313, -5593, -4899, -3053, 0,    4166, 9201,  14722, 20254,
    25274, 29284, 31873, 32767, 31873, 29284, 25274, 20254, 14722, 9201,  4166, 0,    -3053, -4899, -5593,
    -5313, -4320, -2916, -1393, 0,     1085,  1767,  2033,  1933,  1566,  1048, 494,  0,     -371,  -591,
    -663,  -612,  -480,  -310,  -141,  0,     97,    147,   157,   137,   100,  61,   25,    0,     -15,
    -20,   -19,   -14,   -9,    -4,    -1,    0,     0,     0,     0,     0,    0,    0,     0,     0,
};
// GSTAB2 phase p (0..8) is the 13 entries p, p + 8, ..., p + 96.
inline constexpr s32 kGstab2Taps = 13;
inline constexpr s32 kGstab2Phases = 8;

// The largest sum of |taps| over any phase of GSTAB2: a 13-tap sum of full-scale samples
// stays within 32 bits.
constexpr s64 gstab2LargestPhaseGain() {
    s64 largest = 0;
    for (s32 p = 0; p <= kGstab2Phases; ++p) {
        s64 sum = 0;
        for (s32 j = 0; j < kGstab2Taps; ++j) {
            const s32 v = GSTAB2[static_cast<std::size_t>(p + kGstab2Phases * j)];
            sum += v < 0 ? -v : v;
        }
        largest = sum > largest ? sum : largest;
    }
    return largest;
}
static_assert(gstab2LargestPhaseGain() * 32768 < (s64{1} << 31));

} // namespace orv::rs
