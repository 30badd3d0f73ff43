// The onset function of the beat tracker: one spectral-flux value per frame, kept in the
// flux ring, running statistics over that ring, and onset peaks picked 12 frames behind the
// newest value. All single precision except the final square root of the statistics.
#pragma once

#include "orvsys/orvint.h"
#include "songanalysis/beattracker/beattracker.h"

// Frames of look-ahead that peak picking keeps behind the newest flux value.
inline constexpr s32 BEATTRACKER_PEAK_LOOKAHEAD = 12;

// Needs iFFTLen packed spectrum values (real parts of bins 0 and Nyquist first, then real and
// imaginary part of each bin) and iFFTLen floats of magnitude memory (this frame's half, then
// the previous frame's). Returns the frame's smoothed flux, which also becomes the
// process-wide previous value. Once a value reaches 0.01 the audio counts as started at
// frame iFrameCount, and from then on every value is appended to the flux ring (dropped when
// the ring is full). An FFT size without an onset band gives a raw flux of 0.
float calculateSpectralFlux(const s16 *pInFFT, u32 iFFTLen, float *prFFTBuffer,
                            circbuff_struct *circbuffSpectraFlux, u32 iFrameCount, s32 *audioStarted,
                            u32 *audioStartOffset);

// Updates the mean, spread and minimum of the whole flux ring (every slot, written or not):
// a full pass when *sum2 is 0, else a sliding step by the newest value in and the oldest out.
// *std is the root of the summed squares divided by the ring size, never NaN.
void calculateSFStatistics(const circbuff_struct *circbuffSpectraFlux, float *min, float *sum,
                           float *sumForNext, float *mean, float *sum2, float *sum2ForNext, float *std);

// Examines every flux value that has 12 newer ones behind it, advancing the ring's read
// position, and stores each onset peak in the 2048-slot ring pPeaks (frame number from the
// song's start, strength) and, when it falls inside, in peakTrain. prEnvelope is the
// peak-picking envelope carried from frame to frame. Returns the number of new peaks; with a
// spread of 0 it examines nothing.
s32 detectPeaks(circbuff_struct *circbuffSpectraFlux, float threshold, float *prEnvelope, s_Peak *pPeaks,
                s32 *piPeakOffset, u32 audioStartOffset, float mean, float std, float min, s32 *peakTrain,
                s32 peakTrainSize);

// As detectPeaks, with ring positions mapped to song frames past the values a full ring
// refused (gaps may be null: no frame was lost).
s32 detectPeaksMapped(circbuff_struct *circbuffSpectraFlux, float threshold, float *prEnvelope,
                      s_Peak *pPeaks, s32 *piPeakOffset, u32 audioStartOffset, const s_FluxGaps *gaps,
                      float mean, float std, float min, s32 *peakTrain, s32 peakTrainSize);

// Records that the frame's flux value was refused while the ring held writePosition values
// and readPosition of them had been examined: every value stored later belongs one frame
// further into the song.
void fluxGaps_recordDrop(s_FluxGaps *gaps, s32 writePosition, s32 readPosition);
// Frames lost before the value at ring position `position` was stored.
u32 fluxGaps_framesLostBefore(const s_FluxGaps *gaps, s32 position);

// The song's first frame: clears the magnitude memory, the flux ring, statistics, envelope,
// peak count and the audio start. The process-wide previous flux value is kept.
void beattracker_resetOnset(beattracker_struct *bt);
