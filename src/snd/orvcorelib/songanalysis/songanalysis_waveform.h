// Waveform points: one coloured point per analysis frame (peaks, a hue from the spectral
// centroid, a brightness from the peak-to-peak span), post-processed once the song is done,
// then resampled to a fixed time resolution for the waveform file and to a fixed point count
// for the result file's profile.
#pragma once

#include "songanalysis/songanalysis.h"

#include <span>

inline constexpr u8 SONGANALYSIS_WFV_PADDING = 0xF0;
inline constexpr s32 SONGANALYSIS_WFV_DEFAULT_RESOLUTION_MS = 5;

// Colours a point from its own hue and value at full saturation (r, g, b); padding 0xF0.
void ConvHSL2RGB(songanalysis_wfv_struct *point);

// The point of one frame: peaks from the largest and smallest mono sample (both counted
// from 0), hue from the spectral centroid of the frame's packed spectrum (fftSize values),
// value 255, no colour yet.
songanalysis_wfv_struct songanalysis_framePoint(s32 largest, s32 smallest, const audio_t *spectrum,
                                                u32 fftSize);

// After the song: peaks normalised to the largest absolute sample seen (above 0) and
// saturated to the int8 range, brightness from the span, median filters of seven on hue and
// brightness, the hue delayed by `delay` points, every point coloured. Needs more than
// delay + 1 points; does nothing otherwise.
void songanalysis_postprocessWaveform(std::span<songanalysis_wfv_struct> points, s32 largestSample,
                                      u32 delay);

// Output points at positions p, p + step, ... of `in` into `out`, while `in` lasts and `out`
// has room; *p carries the next position to a later call. A step below 1 interpolates
// brightness and hue between neighbours and takes the peaks of the nearest point; a larger
// step averages (int)step points. Peaks are scaled by scale / 128 (saturated), every point
// coloured. Returns the number of points written. Needs step > 0.
u32 songanalysis_resamplePoints(std::span<const songanalysis_wfv_struct> in, float step, u32 scale, float *p,
                                std::span<songanalysis_wfv_struct> out);

// Writes the waveform file: version, header record with the resolution, then the points
// resampled to one per resolutionMs (at the analysis frame rate of this build), scaled by
// scale / 128 and smoothed, in chunks of at least 512 points (and of at least wfpSize).
// The checksum is appended later by the result save. OUTOFRANGE for a resolution of 0 or
// above 32767 ms (nothing is written); FILEERROR when the file cannot be opened or written.
songanalysis_error songanalysis_writeWaveformFile(std::span<const songanalysis_wfv_struct> points,
                                                  const char *path, u32 resolutionMs, u32 scale, u32 wfpSize);

// The profile: wfpSize points spread over the whole song (n / wfpSize points each), scaled
// by wfpScale / 128, unsmoothed; zero points where fewer came out. Writes min(wfpSize,
// out.size()) points, never more, and returns that count (0 for a wfpSize of 0).
u32 songanalysis_makeProfile(std::span<const songanalysis_wfv_struct> points, u32 wfpSize, u32 wfpScale,
                             std::span<songanalysis_wfv_struct> out);

// Opens a waveform file for songanalysis_readWaveform and keeps it open in the record until
// close: reads the version (a version outside 0x0301xxxx only warns) and the header record
// when there is one (else 5 ms per point and a 4-byte head). FILEERROR when it cannot be
// opened or is shorter than 12 bytes, FILEFORMAT for a header resolution of 0 or less, ERROR
// for a record without private state.
songanalysis_error songanalysis_openWaveformFile(songanalysis_struct *sa, const char *wfvFileName);
