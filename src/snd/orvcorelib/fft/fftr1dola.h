// Overlap-add frame around the real FFT: keeps the history of a streamed signal, cuts
// windowed frames of fftSize samples from it at a fixed hop and transforms them (analysis);
// the matching synthesis step transforms spectra back and overlap-adds them. Frames are
// spectra in the packed layout of fftr1d.h. One frame belongs to one thread; nothing is
// allocated after creation.
#pragma once

#include "fft/fftr1d.h"

enum fftr1dola_windowtype : s32 {
    FFTR1DOLA_WINDOWTYPE_RECT = 0,
    FFTR1DOLA_WINDOWTYPE_HANN = 1,
    FFTR1DOLA_WINDOWTYPE_HAMMING = 2,
};

// History, accumulator and window of a frame (N = fftSize).
struct ola_handle {
    audio_t *aBuffer;    // analysis history, a mirrored ring of 3 N values: the latest N
                         // samples are always contiguous
    u32 aBufferSize;     // 3 N
    s32 aOffset;         // write position, N ... 2 N - 1 between calls
    audio_t *sBuffer;    // overlap-add accumulator of N values
    u32 sBufferSize;     // N
    s32 sOffset;         // read position
    audio_t *window;     // N values, Q15
    u32 windowSize;      // N
    double windowPower;  // sum of the squared window values (as numbers from 0 to 1)
    u32 analysisHopSize; // the hops in use
    u32 synthsisHopSize;
};

struct fftr1dola_struct {
    fftr1d_struct *fftf; // forward transform
    fftr1d_struct *ffti; // inverse transform
    u32 fftSize;
    fftr1dola_windowtype windowType;
    u32 analysisHopSize;
    u32 synthsisHopSize;
    ola_handle *olaHandle; // owned
};

// Creates a frame: forward and inverse transforms, hops of fftSize / 4 (1 for sizes below 4),
// zeroed history and accumulator, and the window: Hann 0.5 - 0.5 cos(c i), Hamming
// 0.54 - 0.46 cos(c i), c = 2 pi / (N - 1), stored as trunc(w * 32767); rectangular and any
// other type all 32767.
// Returns null unless fftSize is a power of two not above 4096, or when memory runs out
// (everything made so far is freed). The device configuration prints "\n****using ARM9E fft"
// through debugmsg once for each of its two transforms.
fftr1dola_struct *fftr1dola_new(u32 fftSize, fftr1dola_windowtype windowType);

// Set the number of new samples per analysis call, respectively of finished samples per
// synthesis call. Returns 0, or -1 and keeps the old hop when hop is 0 or above fftSize.
s32 fftr1dola_setAnalysisHopSize(fftr1dola_struct *frame, u32 hop);
s32 fftr1dola_setSynthsisHopSize(fftr1dola_struct *frame, u32 hop);

// Takes analysisHopSize new samples from x and writes the latest fftSize samples, windowed
// (x * w >> 16: the Q15 window and a halving that keeps the transform clear of overflow) and
// transformed, to fx (fftSize values, packed layout). Until fftSize samples have arrived the
// frame starts with zeros. x may be the start of fx. Returns 1.
s32 fftr1dola_analysis(fftr1dola_struct *frame, const audio_t *x, audio_t *fx);

// Transforms the packed spectrum fx (fftSize values) back in place, windows it as the analysis
// does, adds it into the accumulator (saturating) and writes synthsisHopSize finished samples,
// each scaled by synthsisHopSize / windowPower and saturated, to y. Returns 1.
s32 fftr1dola_synthsis(fftr1dola_struct *frame, audio_t *fx, audio_t *y);

// Frees both transforms, the buffers and the frame; null is allowed.
void fftr1dola_free(fftr1dola_struct *frame);
