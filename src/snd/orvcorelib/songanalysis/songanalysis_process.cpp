// One analysis frame (mono mix, audio start and end, FFT, waveform point, beat tracker,
// loudness) and the finish of the song.
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"

#include "orvsys/orvconfig.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstdlib>
#include <span>

namespace {

// A frame whose largest sample exceeds this is audible.
constexpr s32 kAudibleLevel = 64;
constexpr u32 kFlagTempo = 1;
constexpr u32 kFlagBeats = 2;
constexpr u32 kFlagDownbeats = 4;

bool has(const songanalysis_struct *sa, u32 feature) {
    return (sa->songFeatures & feature) != 0;
}

// Remembers the largest absolute input sample; -32768 counts as 32767, the largest the
// 16-bit field can hold.
void notePeak(songanalysis_handle *h, s32 sample) {
    const s32 magnitude = std::min(std::abs(sample), 32767);
    if (magnitude > h->peakValue) h->peakValue = static_cast<s16>(magnitude);
}

// Mono samples of the frame into the work buffer; other channel counts leave it as it was.
void mixToMono(const songanalysis_struct *sa, songanalysis_handle *h, const s16 *in) {
    const u32 n = sa->frameSize;
    audio_t *out = h->fftBuffer;
    if (sa->numChannels == 1) {
        for (u32 i = 0; i < n; ++i) {
            out[i] = in[i];
            notePeak(h, in[i]);
        }
    } else if (sa->numChannels == 2) {
        for (u32 i = 0; i < n; ++i) {
            const s32 left = in[2 * i];
            const s32 right = in[2 * i + 1];
            out[i] = static_cast<audio_t>(orv::asr32(left, 1) + orv::asr32(right, 1));
            notePeak(h, left);
            notePeak(h, right);
        }
    }
}

struct Extremes {
    s32 largest = 0;
    s32 smallest = 0;
};

Extremes extremesOf(const audio_t *x, u32 n) {
    Extremes e;
    for (u32 i = 0; i < n; ++i) {
        e.largest = std::max<s32>(e.largest, x[i]);
        e.smallest = std::min<s32>(e.smallest, x[i]);
    }
    return e;
}

void noteAudible(songanalysis_struct *sa, const songanalysis_handle *h, const Extremes &e) {
    if (e.largest <= kAudibleLevel) return;
    if (sa->audioStart == -1) {
        sa->audioStart = h->frameCount;
    } else {
        sa->audioEnd = h->frameCount;
    }
}

float tempoOf(const songanalysis_struct *sa, float interval) {
    return static_cast<float>(sa->inputSampleRate) * 60.0f / (interval * static_cast<float>(sa->frameSize));
}

u32 firstBeatMs(const songanalysis_struct *sa, const beattracker_struct *bt) {
    return bt->beatSize > 0 || bt->beatSizeRaw > 0 ? songanalysis_frameToMs(sa, bt->beats[0]) : 0;
}

// The tracker needs the FFT frame filled once before it sees a spectrum. Signed: with a hop
// of half the FFT or more the first frame already counts.
bool trackerStarted(const songanalysis_struct *sa, const songanalysis_handle *h) {
    const s64 first = s64{h->fftSize / 2 / sa->frameSize} - 1;
    return s64{h->frameCount} >= first;
}

u32 trackFrame(songanalysis_struct *sa, songanalysis_handle *h) {
    beattracker_struct *bt = h->beatTracker;
    beattracker_setInputPtr(bt, h->fftBuffer);
    beattracker_process(bt);
    sa->beatsPerMinute = bt->rBeatInterval > 0.0f ? tempoOf(sa, bt->rBeatInterval) : 0.0f;
    sa->beatsScore = orv::truncSatU32(100.0f * bt->beatScore);
    sa->musicStart = firstBeatMs(sa, bt);
    u32 flags = 0;
    if (bt->beatInterval != static_cast<float>(h->previousBI)) flags |= kFlagTempo;
    h->previousBI = orv::truncSatU32(bt->beatInterval);
    if (bt->beatSize != h->previousBeatSize) flags |= kFlagBeats;
    h->previousBeatSize = bt->beatSize;
    if (bt->downbeatSize != h->previousDownbeatSize) flags |= kFlagDownbeats;
    h->previousDownbeatSize = bt->downbeatSize;
    return flags;
}

// Audio frames to ms, truncated toward zero: -1 (never audible) stays negative.
s32 frameToMsSigned(const songanalysis_struct *sa, s32 frame) {
    return orv::truncSat32(static_cast<float>(frame) * 1000.0f * static_cast<float>(sa->frameSize) /
                               static_cast<float>(sa->inputSampleRate) +
                           0.5f);
}

s32 durationOf(const songanalysis_struct *sa, s32 frames) {
    if constexpr (orv::kDeviceConfig) {
        return orv::truncSat32(static_cast<float>(frames) * static_cast<float>(sa->frameSize) /
                               static_cast<float>(sa->inputSampleRate) * 1000.0f);
    } else {
        const double ms = static_cast<double>(frames) * sa->frameSize / sa->inputSampleRate * 1000.0;
        return static_cast<s32>(std::clamp(ms, -2147483648.0, 2147483647.0));
    }
}

void finishBeats(songanalysis_struct *sa, songanalysis_handle *h, s32 *anchors, s32 nAnchors,
                 bool fixedGrid) {
    beattracker_struct *bt = h->beatTracker;
    beattracker_finalize(bt, anchors, nAnchors, fixedGrid);
    if (bt->rBeatInterval > 0.0f) sa->beatsPerMinute = tempoOf(sa, bt->rBeatInterval);
    sa->musicStart = firstBeatMs(sa, bt);
}

void finishLoudness(songanalysis_struct *sa, songanalysis_handle *h) {
    replaygain_songEnd(h->rpg);
    sa->gainStruct.radioGain = h->rpg->radioGain;
    sa->gainStruct.audiophileGain = h->rpg->audioGain;
    sa->gainStruct.peakValue = static_cast<u32>(s32{h->peakValue});
}

void finishWaveform(const songanalysis_struct *sa, songanalysis_handle *h) {
    const u32 delay = h->fftSize / 2 / sa->frameSize;
    const std::span<songanalysis_wfv_struct> points(h->wfvSamples, static_cast<size_t>(h->wfvCnt));
    songanalysis_postprocessWaveform(points, h->wavenvMaxSamples, delay);
}

} // namespace

u32 songanalysis_process(songanalysis_struct *sa, const s16 *pIn, u32 /*inSize*/) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || h->use != songanalysis_use::analysis || pIn == nullptr) return 0;
    sa->isFinalized = 0;
    mixToMono(sa, h, pIn);
    const Extremes e = extremesOf(h->fftBuffer, sa->frameSize);
    noteAudible(sa, h, e);
    const bool waveform = has(sa, SONGANALYSIS_FEATURE_WAVEFORM) && h->wfvSamples != nullptr;
    if (waveform) h->wavenvMaxSamples = std::max({h->wavenvMaxSamples, e.largest, -e.smallest});
    fftr1dola_analysis(h->fft, h->fftBuffer, h->fftBuffer);
    if (waveform && h->wfvCnt < h->wfvSize)
        h->wfvSamples[h->wfvCnt++] = songanalysis_framePoint(e.largest, e.smallest, h->fftBuffer, h->fftSize);
    u32 flags = 0;
    if (has(sa, SONGANALYSIS_FEATURE_BEATS) && h->beatTracker != nullptr && trackerStarted(sa, h))
        flags = trackFrame(sa, h);
    if (has(sa, SONGANALYSIS_FEATURE_GAIN)) replaygain_process(h->rpg, h->fftBuffer);
    h->frameCount += 1;
    return flags;
}

songanalysis_error songanalysis_finalize(songanalysis_struct *sa, s32 *anchors, s32 nAnchors,
                                         bool fixedGrid) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || h->use != songanalysis_use::analysis) return SONGANALYSIS_ERROR_NOTOPENED;
    // A second finish would convert the audio start again and find the loudness values gone.
    if (sa->isFinalized != 0) return SONGANALYSIS_ERROR_NOERROR;
    if (has(sa, SONGANALYSIS_FEATURE_BEATS) && h->beatTracker != nullptr)
        finishBeats(sa, h, anchors, nAnchors, fixedGrid);
    if (has(sa, SONGANALYSIS_FEATURE_GAIN)) finishLoudness(sa, h);
    if (has(sa, SONGANALYSIS_FEATURE_WAVEFORM) && h->wfvSamples != nullptr) finishWaveform(sa, h);
    sa->audioStart = frameToMsSigned(sa, sa->audioStart);
    sa->audioEnd = frameToMsSigned(sa, sa->audioEnd);
    sa->durationInMs = durationOf(sa, h->frameCount);
    sa->isFinalized = 1;
    return SONGANALYSIS_ERROR_NOERROR;
}
