// The device configuration's transform kernels, written for the ARM9E 16x16 multiply-accumulate
// instructions and kept here as portable integer code that gives the same results. Complex
// values are interleaved (re, im) 16-bit pairs; every intermediate value is stored as 16 bits
// (saturated where an adversarial input could exceed that range; ordinary frames never do).
// Users go through fftr1d_process; the kernels are exposed for their tests.
#pragma once

#include "orvsys/orvint.h"

// Radix-4 decimation-in-time complex FFT with e^(-j 2 pi k n / len).
// Needs: len a power of four, 1 <= len <= 4096; in and out each hold 2 * len values and do not
//        overlap. in is read in digit-reversed order, out is written in natural order.
// Gives: out = DFT(in) / len: every radix-4 stage divides by 4 (the first stage shifts its
//        inputs right by 2, the later ones take their Q15 twiddle products >> 17).
void fft_16_arm9e(audio_t *out, const audio_t *in, u32 len);

// The same with conjugated twiddles, e^(+j 2 pi k n / len), halving at every stage instead of
// quartering (first-stage inputs >> 1, twiddle products >> 16): out = IDFT-sum(in) / 2^s for
// len = 4^s. Same needs as fft_16_arm9e.
void ifft_16_arm9e(audio_t *out, const audio_t *in, u32 len);

// Split: turns the complex spectrum t of N/2 points (from fft_16_arm9e over the N real samples
// read as N/2 complex values) into the packed real spectrum of N = 2^m samples in x.
// Needs: m >= 2; t holds N values, x holds N values; table is C4096; skip = 4096 >> (m - 2).
void rfft2core_arm9e(const audio_t *t, audio_t *x, u32 m, const audio16 *table, u32 skip);

// Combine: joins the packed spectra E (even samples) and O (odd samples), N/2 values each, into
// the packed spectrum of N = 2^m samples in f.
// Needs: m >= 2; f holds N values and overlaps neither E nor O; table is C4096;
//        skip = 4096 >> (m - 2).
void rfft4core_arm9e(audio_t *f, const audio_t *E, const audio_t *O, u32 m, const audio16 *table, u32 skip);

// Forward real transform of N = 2^m samples in place into the packed layout of fftr1d.h, for
// odd m (N/2 a power of four) or m <= 1. tmp holds at least N values.
void rfft2(audio_t *x, audio_t *tmp, u32 m);

// The same for even m >= 2, through two half-size transforms and a combine. tmp holds at
// least 2 * N values.
void rfft4(audio_t *x, audio_t *tmp, u32 m);

// Forward real transform of N = 2^m samples (m <= 12) in place: rfft2 or rfft4 by the parity
// of m. tmp holds at least 2 * N values.
void rfft(audio_t *x, audio_t *tmp, u32 m);

// Inverse of rfft for even m (N a power of four, m <= 12): rebuilds the conjugate-symmetric
// spectrum from the packed layout, scales it up by a block exponent and runs ifft_16_arm9e,
// so that rfft followed by irfft4_arm9e gives the samples back. tmp holds at least 4 * N values.
void irfft4_arm9e(audio_t *x, audio_t *tmp, u32 m);
