// 16-bit fixed-point FFT of real signals, in place.
//
// Packed spectrum layout (the forward output, and what the inverse reads): for N = fftSize
// values x[0] ... x[N-1] transformed in place,
//   value 0       real part of bin 0 (DC)
//   value 1       real part of bin N/2 (Nyquist)
//   values 2k, 2k+1  real and imaginary part of bin k, for k = 1 ... N/2 - 1
// and each bin is X[k] / N, X being the plain DFT  X[k] = sum_n x[n] e^(-j 2 pi k n / N).
// So a constant c gives value 0 = c; a cosine of amplitude A at bin k gives (A/2, 0) in
// values 2k, 2k+1, a sine gives (0, -A/2). N = 1 gives the sample itself, N = 2 only values
// 0 and 1.
//
// The device configuration computes it with radix-4 kernels (fft_arm9e.h), the desktop
// configuration with the radix-2 fix_fft (fix_fft.h); both give the same layout and scale,
// within a few units of rounding.
#pragma once

#include "orvsys/orvint.h"

// Largest transform size.
inline constexpr u32 FFTR1D_MAX_SIZE = 4096;

// One transform of one size and direction.
struct fftr1d_struct {
    u32 fftSize;    // N, a power of two, 1 ... 4096
    u32 m;          // log2 N
    s32 direction;  // 1 forward, -1 inverse
    audio_t *table; // unused, null
    audio_t *tmp;   // work buffer: 4 N values (device configuration) or N values (desktop)
};

// Creates a transform. direction >= 0 is forward, < 0 inverse.
// Returns null unless fftSize is a power of two not above FFTR1D_MAX_SIZE, or when memory
// runs out. The device configuration prints "\n****using ARM9E fft" through debugmsg.
fftr1d_struct *fftr1d_new(u32 fftSize, s32 direction);

// Frees a transform; null is allowed.
void fftr1d_free(fftr1d_struct *fft);

// One transform in place over the fftSize values of x.
// Forward: samples in, packed spectrum (above) out. Inverse: packed spectrum in, samples out,
// so that a forward and an inverse transform in a row give the samples back within rounding.
// Allocates nothing. Every value stays in 16 bits (saturated where a spectrum that no real
// frame of samples can produce would overflow).
void fftr1d_process(fftr1d_struct *fft, audio_t *x);

// Largest and smallest of x[0] ... x[size - 1]; 0 when size is 0.
audio_t findMaxInArray(const audio_t *x, u32 size);
audio_t findMinInArray(const audio_t *x, u32 size);
