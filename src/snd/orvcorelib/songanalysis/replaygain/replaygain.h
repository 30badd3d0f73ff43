// Loudness of a song from the spectra of its analysis frames: each frame's spectral energy
// weighted by an equal-loudness table, then the 95th percentile over the song, reported as
// the square root of that energy. An album mode takes the 95th percentile over its songs.
// (It borrows ReplayGain's percentile statistic, not its filters or its decibel scale.)
#pragma once

#include "orvsys/orvint.h"

#include <array>

// The FFT length the equal-loudness table is laid out for.
inline constexpr u32 RPG_FRAMESIZE = 2048;

// 1024 weights indexed by bin of a 2048-point spectrum (bin x frameFactor for smaller FFTs).
extern const std::array<s16, 1024> EQUAL_LOUDNESS_TABLE;

struct replaygain_struct {
    u32 frameSize;       // FFT size of the spectra
    const s16 *elTable;  // EQUAL_LOUDNESS_TABLE
    u32 frameFactor;     // 2048 / frameSize: table step per bin
    u32 frameOffset;     // 0
    s32 *rms;            // one value per frame
    u32 rmsSize, rmsCnt; // room and count
    u32 refGain;         // 700
    u32 radioGain;       // the song's value
    s32 *albumGain;      // one value per song of the album
    u32 albumSize, albumCnt;
    u32 audioGain; // the album's value, or the song's without an album
};

// A zeroed analyser with refGain 700; null on exhausted memory.
replaygain_struct *replaygain_new();

// Starts a song with room for numFrames values of spectra of frameSize values. fs is not
// used. Returns 1, or 0 when the room cannot be had or frameSize is 0 (the song then
// measures nothing and ends with gain 0).
s32 replaygain_newSong(replaygain_struct *rpg, u32 numFrames, u32 frameSize, u32 fs = 0);

// Adds one frame from its spectrum (frameSize interleaved 16-bit re, im values) while
// there is room.
void replaygain_process(replaygain_struct *rpg, const s16 *pInFFT);

// The song's value into radioGain and audioGain (and into the open album); frees the
// per-frame values.
void replaygain_songEnd(replaygain_struct *rpg);

// Room for numSongs song values. Returns 0 (also when the room cannot be had).
s32 replaygain_newAlbum(replaygain_struct *rpg, u32 numSongs);

// The album's value into audioGain; frees the album values.
void replaygain_albumEnd(replaygain_struct *rpg);

// Frees everything; null allowed.
void replaygain_destroy(replaygain_struct *rpg);
