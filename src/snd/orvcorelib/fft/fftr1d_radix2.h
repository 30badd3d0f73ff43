// Real transforms built on fix_fft: the desktop configuration's forward transform and the
// inverse of every size that is not a power of four. Internal to the fft module.
#pragma once

#include "orvsys/orvint.h"

namespace orv::fft {

// Forward transform of the 2^m samples in x (m <= 12) in place into the packed layout of
// fftr1d.h, scaled by 1/N. tmp holds at least N values (the imaginary parts).
void radix2Forward(audio_t *x, audio_t *tmp, u32 m);

// Inverse of radix2Forward: x holds a packed spectrum on entry and the 2^m samples on exit.
// tmp holds at least N values.
void radix2Inverse(audio_t *x, audio_t *tmp, u32 m);

} // namespace orv::fft
