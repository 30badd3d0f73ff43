// Reading the packed spectrum of a real signal as the full conjugate-symmetric spectrum that
// the inverse transforms need. Internal to the fft module.
#pragma once

#include "orvsys/orvint.h"

namespace orv::fft {

struct Bin {
    s32 re;
    s32 im;
};

// Bin k (0 <= k < n) of the spectrum whose packed form of n values (n >= 2, a power of two)
// is `packed`: bins 0 and n/2 are real, bin n - k is the conjugate of bin k. The imaginary part
// of a mirrored bin is negated in 32 bits, so -(-32768) stays exact.
inline Bin packedBin(const audio_t *packed, u32 n, u32 k) {
    const u32 half = n / 2;
    if (k == 0) return {packed[0], 0};
    if (k == half) return {packed[1], 0};
    if (k < half) return {packed[2 * k], packed[2 * k + 1]};
    const u32 mirror = n - k;
    return {packed[2 * mirror], -s32{packed[2 * mirror + 1]}};
}

} // namespace orv::fft
