// Opening a record for a song (to analyse it, or to receive loaded results), closing it, and
// the settings passed on to the tracker and the loudness analyser.
#include "songanalysis/songanalysis_handle.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Every analysis makes room for at least five minutes of frames.
constexpr u32 kMinSongMs = 300000;
// Longer than any set the unit plays. A length beyond it (a damaged header, a stream that
// claims to last for days) would size the working memory of an analysis in gigabytes;
// frames past the room are still tracked, only their points and loudness values are not kept.
constexpr u32 kMaxSongMs = 4u * 3600u * 1000u;
constexpr float kTrackerThreshold = 17.0f;

u32 frameCountFor(const songanalysis_struct *sa, u32 maxLengthInMs) {
    const u32 ms = std::clamp(maxLengthInMs, kMinSongMs, kMaxSongMs);
    const float frames = static_cast<float>(ms) * static_cast<float>(sa->inputSampleRate) / 1000.0f /
                         static_cast<float>(sa->frameSize);
    return static_cast<u32>(frames + 1.0f);
}

// The tempo bounds and bar pattern of a genre; null for an unknown genre, or for a custom
// one that brings none.
const songanalysis_genre_struct *presetOf(songanalysis_genre genre, const songanalysis_genre_struct *custom) {
    if (genre == SONGANALYSIS_GENRE_CUSTOM) return custom;
    if (genre < SONGANALYSIS_GENRE_DEFAULT || genre > SONGANALYSIS_GENRE_HIPHOP) return nullptr;
    return &GENRE_DATA[genre];
}

// The beat interval in frames of a tempo bound, in integer arithmetic; 0 for no bound.
u32 intervalOfBound(const songanalysis_struct *sa, u32 bpm) {
    if (bpm == 0) return 0;
    return static_cast<u32>(u64{sa->inputSampleRate} * 60 / (u64{bpm} * sa->frameSize));
}

struct SongSetup {
    u32 features, inputSampleRate, maxLengthInMs, numChans;
    songanalysis_genre genre;
};

// The checks every open makes, before anything changes.
songanalysis_error checkOpen(const songanalysis_struct *sa, const SongSetup &s,
                             const songanalysis_genre_struct *preset) {
    if (sa->isOpened != 0) return SONGANALYSIS_ERROR_ALREADYOPENED;
    if (s.inputSampleRate == 0) return SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE;
    if (preset == nullptr) return SONGANALYSIS_ERROR_NOTSUPPORTED;
    return SONGANALYSIS_ERROR_NOERROR;
}

void startSong(songanalysis_struct *sa, songanalysis_handle *h, const SongSetup &s) {
    sa->songFeatures = s.features;
    sa->numChannels = s.numChans;
    sa->inputSampleRate = s.inputSampleRate;
    sa->genre = s.genre;
    sa->maxLengthInMs = s.maxLengthInMs;
    sa->durationInMs = static_cast<s32>(s.maxLengthInMs);
    sa->isFinalized = 0;
    sa->dirty = 0;
    sa->audioStart = -1;
    sa->audioEnd = -1;
    sa->bitRate = -1;
    sa->isNativelySeekable = 0;
    // The previous song's tempo must not show before this song has one.
    sa->beatsPerMinute = 0.0f;
    sa->beatsScore = 0;
    sa->musicStart = 0;
    h->frameCount = 0;
    h->previousBI = 0;
    h->previousBeatSize = 0;
    h->previousDownbeatSize = 0;
    h->peakValue = 0;
    h->fixbeat = 0.0f;
    h->fixbeatinv = 0.0f;
    h->wfvHaveExtraInfo = 0;
    h->wfvHeaderSize = 4;
    h->wfvResolution = 5;
    h->wavenvMaxSamples = 0;
    h->wfvCnt = 0;
    h->wfvSize = 0;
}

// The FFT frame, the work buffer and (for tempo and beats) the tracker: made at the first
// analysis open and kept until destroy.
bool makeAnalysisMemory(songanalysis_struct *sa, songanalysis_handle *h, bool tracker) {
    if (h->fft == nullptr) {
        h->fft = fftr1dola_new(h->fftSize, FFTR1DOLA_WINDOWTYPE_HANN);
        if (h->fft == nullptr) return false;
    }
    fftr1dola_setAnalysisHopSize(h->fft, sa->frameSize);
    if (h->fftBuffer == nullptr) {
        h->fftBuffer = static_cast<audio_t *>(std::calloc(2 * size_t{h->fftSize}, sizeof(audio_t)));
        if (h->fftBuffer == nullptr) return false;
    }
    if (tracker && h->beatTracker == nullptr) {
        h->beatTracker = beattracker_new(h->fftSize, static_cast<processingmode>(sa->mode));
        if (h->beatTracker == nullptr) return false;
        beattracker_setUserInputMode(h->beatTracker, h->userInputMode);
    }
    return true;
}

void openTracker(const songanalysis_struct *sa, beattracker_struct *bt,
                 const songanalysis_genre_struct &preset, float initialBPM, u32 numFrames) {
    const u32 upper = intervalOfBound(sa, preset.lowerBPM);
    const u32 lower = intervalOfBound(sa, preset.upperBPM);
    const float initial = initialBPM == 0.0f ? 0.0f
                                             : static_cast<float>(sa->inputSampleRate) * 60.0f /
                                                   (static_cast<float>(sa->frameSize) * initialBPM);
    beattracker_open(bt, static_cast<float>(upper), static_cast<float>(lower), initial,
                     static_cast<s32>(std::min<u32>(numFrames, 0x7FFFFFFF)));
    beattracker_setThreshould(bt, kTrackerThreshold);
    beattracker_setBeatPattern(bt, preset.beatPattern, 4);
    // The finish of the previous song left its interval here; this song reports its own.
    bt->rBeatInterval = 0.0f;
    bt->beatInterval = 0.0f;
    bt->rBeatIntervalXcorr = 0.0f;
    bt->beatScore = 0.0f;
}

void releaseLoudnessRoom(replaygain_struct *rpg) {
    std::free(rpg->rms);
    rpg->rms = nullptr;
    rpg->rmsSize = 0;
    rpg->rmsCnt = 0;
}

template <typename T>
T *allocIfAbsent(T *p, size_t count) {
    return p != nullptr ? p : static_cast<T *>(std::calloc(count, sizeof(T)));
}

} // namespace

songanalysis_error songanalysis_open(songanalysis_struct *sa, u32 features, u32 inputSampleRate,
                                     u32 maxLengthInMs, u32 numChans, float initialBPM,
                                     songanalysis_genre genre, const songanalysis_genre_struct *genreStruct) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_ERROR;
    const SongSetup setup{features, inputSampleRate, maxLengthInMs, numChans, genre};
    const songanalysis_genre_struct *preset = presetOf(genre, genreStruct);
    if (const songanalysis_error e = checkOpen(sa, setup, preset); e != SONGANALYSIS_ERROR_NOERROR) return e;
    // A frame must fit the FFT frame's hop (a loaded record may have taken a stored size).
    if (sa->frameSize == 0 || sa->frameSize > h->fftSize) return SONGANALYSIS_ERROR_NOTSUPPORTED;
    const bool beats = (features & SONGANALYSIS_FEATURE_BEATS) != 0;
    if (!makeAnalysisMemory(sa, h, beats)) return SONGANALYSIS_ERROR_OUTOFMEMORY;
    startSong(sa, h, setup);
    const u32 numFrames = frameCountFor(sa, maxLengthInMs);
    if (beats) openTracker(sa, h->beatTracker, *preset, initialBPM, numFrames);
    // Without the room the song measures nothing and ends with gain 0.
    if ((features & SONGANALYSIS_FEATURE_GAIN) != 0) replaygain_newSong(h->rpg, numFrames * 5, h->fftSize);
    if ((features & SONGANALYSIS_FEATURE_WAVEFORM) != 0) {
        h->wfvSamples = static_cast<songanalysis_wfv_struct *>(
            std::calloc(size_t{numFrames} + 1, sizeof(songanalysis_wfv_struct)));
        if (h->wfvSamples == nullptr) {
            if (beats) beattracker_close(h->beatTracker);
            releaseLoudnessRoom(h->rpg);
            return SONGANALYSIS_ERROR_OUTOFMEMORY;
        }
        h->wfvSize = static_cast<s32>(numFrames);
    }
    h->use = songanalysis_use::analysis;
    sa->isOpened = 1;
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_openForResults(songanalysis_struct *sa, u32 features, u32 inputSampleRate,
                                               u32 maxLengthInMs, u32 numChans, float /*initialBPM*/,
                                               songanalysis_genre genre,
                                               const songanalysis_genre_struct *genreStruct) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_ERROR;
    const SongSetup setup{features, inputSampleRate, maxLengthInMs, numChans, genre};
    if (const songanalysis_error e = checkOpen(sa, setup, presetOf(genre, genreStruct));
        e != SONGANALYSIS_ERROR_NOERROR)
        return e;
    if ((features & SONGANALYSIS_FEATURE_BEATS) != 0) {
        h->loadedBeats = allocIfAbsent(h->loadedBeats, SONGANALYSIS_MAX_BEATS);
        h->loadedDownbeats = allocIfAbsent(h->loadedDownbeats, SONGANALYSIS_MAX_DOWNBEATS);
        if (h->loadedBeats == nullptr || h->loadedDownbeats == nullptr) return SONGANALYSIS_ERROR_OUTOFMEMORY;
    }
    startSong(sa, h, setup);
    h->loadedBeatSize = 0;
    h->loadedDownbeatSize = 0;
    h->use = songanalysis_use::results;
    sa->isOpened = 1;
    return SONGANALYSIS_ERROR_NOERROR;
}

void songanalysis_close(songanalysis_struct *sa) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return;
    if (h->beatTracker != nullptr) beattracker_close(h->beatTracker);
    std::free(h->wfvSamples);
    h->wfvSamples = nullptr;
    h->wfvCnt = 0;
    h->wfvSize = 0;
    if (h->wfvFile != nullptr) std::fclose(h->wfvFile);
    h->wfvFile = nullptr;
    std::free(h->loadedBeats);
    std::free(h->loadedDownbeats);
    h->loadedBeats = nullptr;
    h->loadedDownbeats = nullptr;
    h->loadedBeatSize = 0;
    h->loadedDownbeatSize = 0;
    // An analysis closed before its finish still holds the song's loudness values.
    releaseLoudnessRoom(h->rpg);
    h->use = songanalysis_use::closed;
    sa->isOpened = 0;
}

songanalysis_error songanalysis_setUserInputMode(songanalysis_struct *sa,
                                                 songanalysis_userinputmode usermode) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    h->userInputMode = static_cast<beattracker_userinputmode_t>(usermode);
    if (h->beatTracker != nullptr) beattracker_setUserInputMode(h->beatTracker, h->userInputMode);
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_newAlbum(songanalysis_struct *sa, u32 numSongs) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    replaygain_newAlbum(h->rpg, numSongs);
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_albumEnd(songanalysis_struct *sa) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_NOTOPENED;
    replaygain_albumEnd(h->rpg);
    return SONGANALYSIS_ERROR_NOERROR;
}
