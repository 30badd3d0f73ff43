// Three-band equaliser for a deck: a low shelf, a mid peak and a high shelf, each a
// direct-form-I biquad section whose corner frequency and width move with its gain. Each band is
// set by a MIDI value (0 to 127, 64 = flat). Runs in the caller's thread on blocks of
// interleaved stereo audio24 samples.
#pragma once

#include "biquad/biquad.h"
#include "orvsys/orvint.h"

enum djeq_band : s32 {
    DJEQ_BAND_LOW = 0,
    DJEQ_BAND_MID = 1,
    DJEQ_BAND_HIGH = 2,
    DJEQ_BAND_COUNT = 3,
};

struct djequalizer {
    u32 frameSize;            // frames per block, a multiple of 8
    u32 sampleRate;           // Hz
    audio24 *buffer;          // one stereo block (2 * frameSize values) between the bands
    biquad_struct *biquad[3]; // low shelf, mid peak, high shelf
    float dBgain[3];          // gains in use
    float next_dBgain[3];     // pending gains
    u32 flagsChanged;         // bit per band: 1 low, 2 mid, 4 high
};

// Creates an equaliser with all bands flat (0 dB).
// Needs: frameSize a multiple of 8.
// Returns: the equaliser, owned by the caller (free with djequalizer_destroy), or null when
// frameSize is refused or memory runs out (nothing is left allocated).
djequalizer *djequalizer_new(u32 frameSize, u32 sampleRate);

// Sets a band's pending gain from a MIDI value: 64 is exactly 0 dB; below 128 the gain is
// 20 log10(x) with x = value / 64, squared above 1 and at least 0.01 (0 gives -40 dB, 127 about
// +11.9 dB); a value of 128 or more stores nothing. The gain is taken at the next block.
// Returns: -1 for a null equaliser, 0 for an unknown band, else 1.
s32 djequalizer_setParam(djequalizer *djeq, djeq_band band, s32 midi_value);

// Filters one block of frameSize stereo frames from in to out (the same buffer allowed),
// running only the bands whose gain is not 0 dB. Does nothing when an argument is null.
void djequalizer_process(djequalizer *djeq, const audio24 *in, audio24 *out);

// Frees the equaliser and its sections. Accepts null. Returns null.
djequalizer *djequalizer_destroy(djequalizer *djeq);
