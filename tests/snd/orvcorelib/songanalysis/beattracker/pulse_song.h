// Spectra of a click track for driving the whole tracker: a broadband burst on each beat
// frame (every fourth beat louder) and silence between. One faint click at frame 0 starts the
// audio, as a song's quiet beginning would, so that the onset statistics see a near-silent
// minimum as they do in music.
#pragma once

#include "snd/orvcorelib/songanalysis/beattracker/tracker_fixture.h"

#include <cmath>
#include <vector>

namespace bttest {

struct PulseSong {
    u32 frames = 0;
    std::vector<u32> beats; // the true beat frames
    std::vector<u8> kind;   // per frame: 0 silent, 1 beat, 2 accented beat, 3 faint click
    std::vector<std::vector<s16>> spectra;

    const s16 *spectrum(u32 frame) const { return spectra[kind[frame]].data(); }
    bool accented(size_t beat) const { return beat % 4 == 0; }
};

// bpm for `seconds` (frames of this build), first beat at `firstBeat` frames. The accent is
// 1.3 times as loud: the flux decays slowly between beats, and a louder accent would hide the
// beat after it at the device's frame rate.
inline PulseSong makePulseSong(double bpm, double seconds, u32 fftSize, double firstBeat,
                               bool faintStart = true) {
    PulseSong song;
    song.frames = static_cast<u32>(seconds * orv::kAnalysisSampleRate / orv::kAnalysisFrameSize);
    song.kind.assign(song.frames, 0);
    song.spectra.assign(4, std::vector<s16>(fftSize, 0));
    for (u32 k = 1; k < fftSize / 2; ++k) {
        song.spectra[1][2 * k] = 2000;
        song.spectra[2][2 * k] = 2600;
    }
    song.spectra[3][20] = 300; // one bin: a flux just above the start level
    if (faintStart) song.kind[0] = 3;
    const double interval = intervalOfBpm(bpm);
    for (u32 k = 0;; ++k) {
        const long frame = std::lround(firstBeat + k * interval);
        if (frame >= static_cast<long>(song.frames)) break;
        song.beats.push_back(static_cast<u32>(frame));
        song.kind[static_cast<size_t>(frame)] = song.accented(k) ? 2 : 1;
    }
    return song;
}

// Opens the tracker for the song with the settings the song analysis uses.
inline void openForSong(beattracker_struct *bt, const PulseSong &song) {
    beattracker_open(bt, 0, 0, 0, static_cast<s32>(song.frames + 1));
    beattracker_setThreshould(bt, 17.0f);
    const s32 pattern[4] = {10, 5, 7, 5};
    beattracker_setBeatPattern(bt, pattern, 4);
    beattracker_setUserInputMode(bt, USERINPUTMODE_IGNORE);
}

inline void runFrames(beattracker_struct *bt, const PulseSong &song, u32 from, u32 to) {
    for (u32 f = from; f < to && f < song.frames; ++f) {
        beattracker_setInputPtr(bt, song.spectrum(f));
        beattracker_process(bt);
    }
}

} // namespace bttest
