// The private working state behind a live analysis record, and the internal operations that
// the life cycle, the grid functions and the result files share. Users of the record never
// include this header.
#pragma once

#include "fft/fftr1dola.h"
#include "songanalysis/beattracker/beattracker.h"
#include "songanalysis/replaygain/replaygain.h"
#include "songanalysis/songanalysis.h"

#include <cstdio>

// What an opened record is for. An analysis builds the per-frame working memory (FFT frame,
// work buffer, beat tracker, loudness room, waveform points); a record that only holds
// loaded results keeps its two grids in arrays of its own and nothing else, because the
// unit keeps one such record per loaded song.
enum class songanalysis_use : s32 { closed, analysis, results };

struct songanalysis_handle {
    s32 frameCount;                      // frames processed
    fftr1dola_struct *fft;               // made at the first analysis open, kept until destroy
    u32 fftSize;                         // the FFT size chosen at creation
    audio_t *fftBuffer;                  // 2 x fftSize samples, made with the FFT frame
    beattracker_struct *beatTracker;     // made at the first analysis open with feature bit 1
    songanalysis_wfv_struct *wfvSamples; // in-memory points of an analysis
    FILE *wfvFile;                       // open waveform file of a loaded result
    s32 wfvCnt;                          // points filled
    s32 wfvSize;                         // capacity, or points in the open file
    s32 wavenvMaxSamples;                // largest absolute sample seen for the waveform
    s32 wfvHaveExtraInfo;                // 1 when the open file has the header record
    s32 wfvHeaderSize;                   // 4 or 12
    s32 wfvResolution;                   // ms per point of the open file
    replaygain_struct *rpg;
    u32 previousBI; // last reported beat interval, whole frames
    u32 previousBeatSize;
    u32 previousDownbeatSize;
    s16 peakValue;    // largest absolute input sample
    float fixbeat;    // fixed tempo in beats per second, 0 for none
    float fixbeatinv; // its inverse

    const songanalysis_struct *owner; // the record in front of this state
    songanalysis_use use;
    beattracker_userinputmode_t userInputMode; // handed to a tracker made later
    u32 *loadedBeats;                          // results only: SONGANALYSIS_MAX_BEATS frames
    u32 loadedBeatSize;
    u32 *loadedDownbeats; // results only: SONGANALYSIS_MAX_DOWNBEATS frames
    u32 loadedDownbeatSize;
};

// One grid: ascending analysis frames with their count. A record without the grid has no
// count (and no room).
struct songanalysis_grid {
    u32 *frames;
    u32 *count;
    u32 capacity;

    u32 size() const { return count != nullptr ? *count : 0; }
};

// The grids of an opened record: the tracker's arrays during an analysis, the record's own
// arrays when it holds loaded results; an empty grid otherwise (null handle included).
songanalysis_grid songanalysis_beatGrid(songanalysis_handle *h);
songanalysis_grid songanalysis_downbeatGrid(songanalysis_handle *h);

// ms to analysis frame, (u32)(ms / 1000 x rate / frameSize + 0.5), and back,
// (u32)(frame x 1000 x frameSize / rate + 0.5), in single precision with the record's rate
// and frame size. frameToMsExact leaves out the rounding.
u32 songanalysis_msToFrame(const songanalysis_struct *sa, u32 ms);
u32 songanalysis_frameToMs(const songanalysis_struct *sa, u32 frame);
float songanalysis_frameToMsExact(const songanalysis_struct *sa, float frames);

// Opens a record to receive loaded results, as songanalysis_open does but without any of the
// per-frame working memory of an analysis: with feature bit 1 it only gets its two (empty)
// grids. ALREADYOPENED when opened, OUTOFMEMORY when the grids cannot be had, NOTSUPPORTED
// for an unknown genre, NOTSUPPORTED_SAMPLERATE for a rate of 0; the record stays closed on
// any error.
songanalysis_error songanalysis_openForResults(songanalysis_struct *sa, u32 features, u32 inputSampleRate,
                                               u32 maxLengthInMs, u32 numChans, float initialBPM,
                                               songanalysis_genre genre,
                                               const songanalysis_genre_struct *genreStruct);
