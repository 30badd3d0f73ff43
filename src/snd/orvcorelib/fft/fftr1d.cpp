#include "fft/fftr1d.h"

#include "fft/fft_arm9e.h"
#include "fft/fftr1d_radix2.h"
#include "orvsys/debugmsg.h"
#include "orvsys/orvconfig.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <new>

namespace {

bool isValidSize(u32 n) {
    return std::has_single_bit(n) && n <= FFTR1D_MAX_SIZE;
}

// The device kernels need room for the complex spectrum and the complex signal of the
// inverse (2 N values each); the desktop routine only for the imaginary parts.
constexpr u32 tmpValues(u32 n) {
    return orv::kDeviceConfig ? 4 * n : n;
}

void forward(fftr1d_struct &fft, audio_t *x) {
    if constexpr (orv::kDeviceConfig)
        rfft(x, fft.tmp, fft.m);
    else
        orv::fft::radix2Forward(x, fft.tmp, fft.m);
}

void inverse(fftr1d_struct &fft, audio_t *x) {
    if (fft.fftSize == 1) return; // the spectrum of one sample is the sample
    if constexpr (orv::kDeviceConfig) {
        // The radix-4 inverse kernel serves the powers of four; the other sizes take the
        // radix-2 routine below.
        if (fft.m % 2 == 0) {
            irfft4_arm9e(x, fft.tmp, fft.m);
            return;
        }
    }
    orv::fft::radix2Inverse(x, fft.tmp, fft.m);
}

} // namespace

fftr1d_struct *fftr1d_new(u32 fftSize, s32 direction) {
    if (!isValidSize(fftSize)) return nullptr;
    auto fft = std::unique_ptr<fftr1d_struct>(new (std::nothrow) fftr1d_struct{});
    if (!fft) return nullptr;
    fft->tmp = new (std::nothrow) audio_t[tmpValues(fftSize)]();
    if (!fft->tmp) return nullptr;
    fft->fftSize = fftSize;
    fft->m = static_cast<u32>(std::countr_zero(fftSize));
    fft->direction = direction >= 0 ? 1 : -1;
    fft->table = nullptr;
    if constexpr (orv::kDeviceConfig) debugmsg("\n****using ARM9E fft");
    return fft.release();
}

void fftr1d_free(fftr1d_struct *fft) {
    if (!fft) return;
    delete[] fft->tmp;
    delete fft;
}

void fftr1d_process(fftr1d_struct *fft, audio_t *x) {
    if (fft->direction >= 0)
        forward(*fft, x);
    else
        inverse(*fft, x);
}

audio_t findMaxInArray(const audio_t *x, u32 size) {
    return size == 0 ? audio_t{0} : *std::max_element(x, x + size);
}

audio_t findMinInArray(const audio_t *x, u32 size) {
    return size == 0 ? audio_t{0} : *std::min_element(x, x + size);
}
