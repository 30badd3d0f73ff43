#include "fft/fftr1d_radix2.h"

#include "fft/fftr1d_packing.h"
#include "fft/fix_fft.h"
#include "orvsys/orvfixed.h"

#include <algorithm>

namespace orv::fft {

void radix2Forward(audio_t *x, audio_t *tmp, u32 m) {
    const u32 n = 1u << m;
    std::fill(tmp, tmp + n, audio_t{0});
    fix_fft(x, tmp, m, false);
    if (n < 2) return;
    // Pack in place from the highest bin down: bin k moves to 2k and 2k + 1, which by then
    // only hold bins that have already moved.
    const audio_t nyquist = x[n / 2];
    for (u32 k = n / 2 - 1; k >= 1; --k) {
        x[2 * k + 1] = tmp[k];
        x[2 * k] = x[k];
    }
    x[1] = nyquist;
}

void radix2Inverse(audio_t *x, audio_t *tmp, u32 m) {
    const u32 n = 1u << m;
    if (n < 2) return;
    for (u32 k = 0; k < n; ++k) tmp[k] = sat16(packedBin(x, n, k).im);
    // Real parts in place from the lowest bin up (bin k comes from 2k >= k), then mirrored.
    const audio_t nyquist = x[1];
    for (u32 k = 1; k < n / 2; ++k) x[k] = x[2 * k];
    x[n / 2] = nyquist;
    for (u32 k = 1; k < n / 2; ++k) x[n - k] = x[k];
    const s32 halvings = fix_fft(x, tmp, m, true);
    for (u32 i = 0; i < n; ++i) x[i] = sat16(shlSat32(x[i], halvings));
}

} // namespace orv::fft
