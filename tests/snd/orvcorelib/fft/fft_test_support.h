// Shared pieces of the fft module's tests: owning pointers, creation without the device
// configuration's message in the test log, and the accuracy allowed of a forward transform.
#pragma once

#include "fft/fftr1d.h"
#include "fft/fftr1dola.h"

#include <gtest/gtest.h>

#include <memory>

namespace ffttest {

struct FftDeleter {
    void operator()(fftr1d_struct *f) const { fftr1d_free(f); }
};
using FftPtr = std::unique_ptr<fftr1d_struct, FftDeleter>;

struct FrameDeleter {
    void operator()(fftr1dola_struct *f) const { fftr1dola_free(f); }
};
using FramePtr = std::unique_ptr<fftr1dola_struct, FrameDeleter>;

inline FftPtr makeFft(u32 n, s32 direction) {
    testing::internal::CaptureStdout();
    FftPtr fft(fftr1d_new(n, direction));
    testing::internal::GetCapturedStdout();
    return fft;
}

inline FramePtr makeFrame(u32 n, fftr1dola_windowtype type) {
    testing::internal::CaptureStdout();
    FramePtr frame(fftr1dola_new(n, type));
    testing::internal::GetCapturedStdout();
    return frame;
}

inline u32 log2Of(u32 n) {
    u32 m = 0;
    while ((1u << m) < n) ++m;
    return m;
}

// Allowed error of value i of a forward transform of N = 2^m: a few LSB plus 1 % of the
// spectrum's peak. Every stage rounds down, and in the device configuration those roundings
// collect in the lowest bins, most of all in the DC value: allow a quarter of an LSB more per
// stage, and one per stage for the DC value.
inline double forwardSlack(u32 i, u32 n, double peak) {
    const double stages = log2Of(n);
    return 4.0 + 0.01 * peak + (i == 0 ? stages : stages / 4);
}

} // namespace ffttest
