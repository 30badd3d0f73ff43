#include "fft/fftr1dola.h"

#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

struct FftDeleter {
    void operator()(fftr1d_struct *fft) const { fftr1d_free(fft); }
};
using FftPtr = std::unique_ptr<fftr1d_struct, FftDeleter>;
using Buffer = std::unique_ptr<audio_t[]>;

Buffer newZeroed(u32 count) {
    return Buffer(new (std::nothrow) audio_t[count]());
}

// Window value at i of n points, from 0 to 1.
double windowValue(fftr1dola_windowtype type, u32 i, u32 n) {
    // 2 pi in single precision over n - 1 intervals; a one-point window takes its i = 0 value.
    const double c = n > 1 ? static_cast<double>(6.2831855f) / (n - 1) : 0.0;
    switch (type) {
    case FFTR1DOLA_WINDOWTYPE_HANN:
        return 0.5 - 0.5 * std::cos(c * i);
    case FFTR1DOLA_WINDOWTYPE_HAMMING:
        return 0.54 - 0.46 * std::cos(c * i);
    default:
        return 1.0;
    }
}

void fillWindow(ola_handle &h, fftr1dola_windowtype type) {
    double power = 0.0;
    for (u32 i = 0; i < h.windowSize; ++i) {
        const double w = windowValue(type, i, h.windowSize);
        h.window[i] = static_cast<audio_t>(w * 32767.0); // w is in [0, 1]: truncates
        power += w * w;
    }
    h.windowPower = power;
}

// Q15 window and a further halving.
void applyWindow(audio_t *x, const audio_t *window, u32 n) {
    for (u32 i = 0; i < n; ++i) x[i] = static_cast<audio_t>((s32{x[i]} * window[i]) >> 16);
}

bool hopFits(const fftr1dola_struct *frame, u32 hop) {
    return hop != 0 && hop <= frame->fftSize;
}

} // namespace

fftr1dola_struct *fftr1dola_new(u32 fftSize, fftr1dola_windowtype windowType) {
    FftPtr fftf(fftr1d_new(fftSize, 1));
    if (!fftf) return nullptr;
    FftPtr ffti(fftr1d_new(fftSize, -1));
    Buffer history = newZeroed(3 * fftSize);
    Buffer accumulator = newZeroed(fftSize);
    Buffer window = newZeroed(fftSize);
    auto handle = std::unique_ptr<ola_handle>(new (std::nothrow) ola_handle{});
    auto frame = std::unique_ptr<fftr1dola_struct>(new (std::nothrow) fftr1dola_struct{});
    if (!ffti || !history || !accumulator || !window || !handle || !frame) return nullptr;

    const u32 hop = std::max(fftSize / 4, 1u);
    ola_handle &h = *handle;
    h.aBuffer = history.release();
    h.aBufferSize = 3 * fftSize;
    h.aOffset = static_cast<s32>(fftSize);
    h.sBuffer = accumulator.release();
    h.sBufferSize = fftSize;
    h.sOffset = 0;
    h.window = window.release();
    h.windowSize = fftSize;
    h.analysisHopSize = hop;
    h.synthsisHopSize = hop;
    fillWindow(h, windowType);

    frame->fftf = fftf.release();
    frame->ffti = ffti.release();
    frame->fftSize = fftSize;
    frame->windowType = windowType;
    frame->analysisHopSize = hop;
    frame->synthsisHopSize = hop;
    frame->olaHandle = handle.release();
    return frame.release();
}

s32 fftr1dola_setAnalysisHopSize(fftr1dola_struct *frame, u32 hop) {
    // A hop beyond the frame would write past the history ring.
    if (!hopFits(frame, hop)) return -1;
    frame->analysisHopSize = hop;
    frame->olaHandle->analysisHopSize = hop;
    return 0;
}

s32 fftr1dola_setSynthsisHopSize(fftr1dola_struct *frame, u32 hop) {
    if (!hopFits(frame, hop)) return -1;
    frame->synthsisHopSize = hop;
    frame->olaHandle->synthsisHopSize = hop;
    return 0;
}

s32 fftr1dola_analysis(fftr1dola_struct *frame, const audio_t *x, audio_t *fx) {
    ola_handle &h = *frame->olaHandle;
    const u32 n = frame->fftSize;
    const u32 hop = h.analysisHopSize;
    // Every sample goes to its ring position p and to p + N (and the spill beyond 2 N to p),
    // so that any N consecutive positions from 0 to 2 N hold the latest samples in order.
    const u32 w = static_cast<u32>(h.aOffset) % n;
    std::copy_n(x, hop, h.aBuffer + w);
    std::copy_n(x, hop, h.aBuffer + w + n);
    if (n - w < hop) std::copy(x + (n - w), x + hop, h.aBuffer);
    u32 offset = static_cast<u32>(h.aOffset) + hop;
    while (offset >= 2 * n) offset -= n;
    h.aOffset = static_cast<s32>(offset);

    std::copy_n(h.aBuffer + (offset - n), n, fx);
    applyWindow(fx, h.window, n);
    fftr1d_process(frame->fftf, fx);
    return 1;
}

s32 fftr1dola_synthsis(fftr1dola_struct *frame, audio_t *fx, audio_t *y) {
    ola_handle &h = *frame->olaHandle;
    const u32 n = frame->fftSize;
    const u32 hop = h.synthsisHopSize;
    fftr1d_process(frame->ffti, fx);
    applyWindow(fx, h.window, n);

    const u32 start = static_cast<u32>(h.sOffset);
    for (u32 i = 0; i < n; ++i) {
        audio_t &slot = h.sBuffer[(start + i) % n];
        slot = orv::sat16(s32{slot} + fx[i]); // many overlapping frames must not wrap around
    }
    const double gain = h.windowPower > 0.0 ? hop / h.windowPower : 0.0;
    for (u32 i = 0; i < hop; ++i) {
        audio_t &slot = h.sBuffer[(start + i) % n];
        y[i] = orv::truncSat16(gain * slot);
        slot = 0;
    }
    u32 offset = start + hop;
    if (offset > n) offset -= n;
    h.sOffset = static_cast<s32>(offset);
    return 1;
}

void fftr1dola_free(fftr1dola_struct *frame) {
    if (!frame) return;
    fftr1d_free(frame->fftf);
    fftr1d_free(frame->ffti);
    if (frame->olaHandle) {
        delete[] frame->olaHandle->aBuffer;
        delete[] frame->olaHandle->sBuffer;
        delete[] frame->olaHandle->window;
        delete frame->olaHandle;
    }
    delete frame;
}
