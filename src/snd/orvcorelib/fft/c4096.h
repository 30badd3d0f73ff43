// The cosine table shared by every size of the device configuration's transforms.
#pragma once

#include "orvsys/orvint.h"

#include <array>

// Number of (cos, -sin) pairs: the angles pi * j / 4096 for j = 0 ... 4095, half a turn.
inline constexpr u32 C4096_PAIRS = 4096;

// Pair j is (trunc(32767 * cos(theta)), -trunc(32767 * sin(theta))) with theta = pi * j / 4096,
// truncated toward zero and stored interleaved: C4096[2j] is the cosine, C4096[2j + 1] the
// negated sine. Pair 0 is (32767, 0), pair 2048 is (0, -32767).
extern const std::array<audio16, 2 * C4096_PAIRS> C4096;
