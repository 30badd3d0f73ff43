// The portable fixed-point complex FFT: radix 2, decimation in time, separate real and
// imaginary arrays, Q15 twiddles from one sine table and rounded Q15 products. It serves the
// desktop configuration's real transforms and, in the device configuration, the inverse of
// the sizes that are not powers of four.
#pragma once

#include "orvsys/orvint.h"

// Largest log2 size: the sine table has 4096 points per turn, enough for every size the
// overlap-add frame accepts.
inline constexpr u32 FIX_FFT_MAX_LOG2 = 12;

// Transforms the 2^m complex values (fr[i], fi[i]) in place, in natural order.
// Forward (inverse false): e^(-j 2 pi k n / N), every stage halves, so the result is DFT / N.
// Inverse: e^(+j 2 pi k n / N); a stage halves only when some part exceeds 16383 in magnitude
// before it, and the result is the sum / 2^halvings.
// Needs: fr and fi each hold 2^m values. Returns the number of halvings of an inverse
// transform (0 for a forward one), or -1 without touching the data when m > FIX_FFT_MAX_LOG2.
s32 fix_fft(audio_t *fr, audio_t *fi, u32 m, bool inverse);

// Q15 sine of 2 pi i / 4096 rounded to nearest: round(32767 * sin(2 pi i / 4096)), for
// 0 <= i < 3072 (three quarter turns, enough for the sines and cosines of half a turn).
audio16 fix_fft_sine(u32 i);
