// Biquad sections: one stereo filter stage of first or second order that runs on blocks of
// interleaved audio24 samples (left, right, left, ...) in the caller's thread.
//
// Fourteen filter types in two topologies: direct form I (every user in the system) and a
// normalised lattice. Cut-off, Q and gain are set as floats at any time; the fixed-point
// coefficients are recomputed only at the start of the next block, and only when a parameter
// really changed. The kernels work on 8 frames at a time, in integers only, and never saturate:
// results wrap in 32 bits.
//
// The resonant types (BIQUAD_TYPE_LPF2R, BIQUAD_TYPE_HPF2R) have no ceiling on their gain
// (the resonance). A high resonance makes the section ring and its output grow without bound
// near the cut-off; callers keep that gain within what their signal path can carry.
#pragma once

#include "orvsys/orvint.h"

#include <cstddef>

// Q4.27 filter coefficient: 1.0 = 0x8000000, range +-16.
using coef_t = s32;

inline constexpr coef_t BIQUAD_COEF_ONE = 0x8000000;

enum biquad_topo : s32 {
    BIQUAD_TOPO_DF1 = 0, // direct form I
    BIQUAD_TOPO_NL = 1,  // normalised lattice
    BIQUAD_TOPO_COUNT = 2,
};

enum biquad_param_index : s32 {
    BIQUAD_PARAM_FC = 0,   // cut-off or centre frequency, Hz
    BIQUAD_PARAM_Q = 1,    // quality factor, plain number
    BIQUAD_PARAM_GAIN = 2, // dB (the resonance for the resonant types)
    BIQUAD_PARAM_COUNT = 3,
};

enum biquad_type : s32 {
    BIQUAD_TYPE_LPF1 = 0,   // first-order low-pass
    BIQUAD_TYPE_HPF1 = 1,   // first-order high-pass
    BIQUAD_TYPE_BPF = 2,    // band-pass, 0 dB peak
    BIQUAD_TYPE_AP1 = 3,    // first-order allpass
    BIQUAD_TYPE_AP2 = 4,    // second-order allpass
    BIQUAD_TYPE_PKF = 5,    // peaking
    BIQUAD_TYPE_HSF1 = 6,   // first-order high shelf (pass-through in direct form I)
    BIQUAD_TYPE_LSF1 = 7,   // first-order low shelf (pass-through in direct form I)
    BIQUAD_TYPE_LPF2 = 8,   // second-order low-pass
    BIQUAD_TYPE_HPF2 = 9,   // second-order high-pass
    BIQUAD_TYPE_HSF2 = 10,  // second-order high shelf
    BIQUAD_TYPE_LSF2 = 11,  // second-order low shelf
    BIQUAD_TYPE_LPF2R = 12, // resonant low-pass (direct form I only)
    BIQUAD_TYPE_HPF2R = 13, // resonant high-pass (direct form I only)
    BIQUAD_TYPE_COUNT = 14,
};

// Bits of biquad::changeFlag: the pending value differs from the value in use.
inline constexpr u32 BIQUAD_CHANGED_FC = 1;
inline constexpr u32 BIQUAD_CHANGED_Q = 2;
inline constexpr u32 BIQUAD_CHANGED_GAIN = 4;

// Direct-form-I coefficients, normalised by a0, with a1 and a2 stored negated so that
// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] + a1 y[n-1] + a2 y[n-2].
struct df1_coef {
    coef_t b0, b1, b2, a1, a2;
};

// Normalised-lattice coefficients: mixing gain g, reflection coefficients k1, k2 with their
// complements c1, c2, and ladder taps v0, v1, v2.
struct nl_coef {
    coef_t g, k1, c1, k2, c2, v0, v1, v2;
};

union biquad_coef {
    df1_coef df1;
    nl_coef nl;
};

// Computes a topology's coefficients for (fc, Q, gain, sample rate, type). Returns true and
// writes *coef, or returns false and leaves *coef untouched when the design cannot be
// represented (a zero denominator or a coefficient beyond +-16).
using biquad_calcFun = bool (*)(float fc, float Q, float gain, u32 sampleRate, biquad_type type,
                                biquad_coef *coef);
// Filters 8 stereo frames (16 values) from in to out (the same buffer allowed) with state d.
using biquad_procFun = void (*)(audio24 *out, const audio24 *in, const biquad_coef *coef, audio24 *d);

struct biquad_struct {
    u32 frameSize;        // frames per biquad_process call, a multiple of 8
    u32 sampleRate;       // Hz
    u32 changeFlag;       // BIQUAD_CHANGED_* bits
    float fc, Q, gain;    // the values the coefficients in use were computed from
    float fc_, Q_, gain_; // pending values, taken at the next block
    biquad_topo topo;
    biquad_type type;
    biquad_coef coef;
    audio24 d[8]; // filter state, its meaning set by the kernel
    biquad_calcFun calcFun;
    biquad_procFun procFun;
};
using biquad = biquad_struct;

// Creates a section with cut-off 100 Hz, Q 1 and gain 0 dB whose coefficients pass audio
// through (the second-order kernels clear the two lowest bits of every sample).
// Needs: frameSize a multiple of 8; a known topology and type; the lattice topology is not
// offered for the resonant types.
// Returns: the section, owned by the caller (free with biquad_destroy), or null when an
// argument is refused or memory runs out.
biquad *biquad_new(u32 frameSize, biquad_topo topo, biquad_type type, u32 sampleRate);

// Stores a pending parameter, clamped: cut-off to 20..20000 Hz, Q to 0.1..10, gain to
// -40..18 dB (the resonant types: at least -2 dB, no ceiling). A value that does not compare
// at or above the lower bound (NaN included) takes the lower bound. Sets the parameter's
// change bit when the stored value differs from the value in use.
// Returns: 1 when the value was taken as given, -1 when it was clamped or b is null, 0 for an
// unknown index (nothing stored).
s32 biquad_setParam(biquad *b, biquad_param_index index, float value);

// Filters one block of frameSize stereo frames from in to out (the same buffer allowed).
// When a parameter changed since the last block, the coefficients are recomputed first from
// the pending values, which then become the values in use; a design that cannot be
// represented keeps the previous coefficients and values. The state carries over.
// Does nothing when b, in or out is null.
void biquad_process(biquad *b, const audio24 *in, audio24 *out);

// Clears the filter state; coefficients and parameters stay. Null is ignored.
void biquad_reset(biquad *b);

// Writes five coefficients (each value * 2^27, truncated toward zero) into the first five
// coefficient words (direct form I: b0, b1, b2, a1, a2 in the stored, negated convention).
// The change bits stay, so a later parameter change overwrites them. Ignored when b or values
// is null, or when a value is not finite or outside the coefficient range (nothing written).
void biquad_setCoef(biquad *b, const float *values);

// Debugging aid: recomputes the coefficients from the pending values, makes them the values in
// use (the change bits stay set), and writes a description of the filter for a numerical
// workspace into buffer, at most len bytes, NUL-terminated when len > 0.
// Ignored when b or buffer is null.
void biquad_getMatlabString(biquad *b, char *buffer, std::size_t len);

// Frees the section. Accepts null. Returns null.
biquad *biquad_destroy(biquad *b);
