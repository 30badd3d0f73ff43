// The sample-rate converter's filter sets: one array of three descriptors (indexed by
// srconv_quality: low, mid, high) per rate ratio, named after a pair of rates in kHz with
// that ratio. Read-only and shared by every converter.
#pragma once

#include "orvsys/orvint.h"

// One polyphase low-pass prototype. Phase o (1..numPhases) filters with coef[o],
// coef[o + numPhases], ... below numCoefs; coef[0] is never used. The values are Q15 and
// each phase sums to about 32768 (unity gain at DC).
struct PolyphaseFir {
    u32 numTaps;
    u32 numPhases;
    u32 numCoefs;
    s16 scale; // 1 in every set; nothing reads it
    const s16 *coef;
};

extern const PolyphaseFir POLYFIR8TO44[3];
extern const PolyphaseFir POLYFIR11TO44[3];
extern const PolyphaseFir POLYFIR16TO44[3];
extern const PolyphaseFir POLYFIR22TO44[3];
extern const PolyphaseFir POLYFIR24TO44[3];
extern const PolyphaseFir POLYFIR32TO44[3];
extern const PolyphaseFir POLYFIR48TO44[3];
extern const PolyphaseFir POLYFIR64TO44[3];
extern const PolyphaseFir POLYFIR88TO44[3];
extern const PolyphaseFir POLYFIR96TO44[3];
extern const PolyphaseFir POLYFIR44TO11[3];
extern const PolyphaseFir POLYFIR96TO22[3];
extern const PolyphaseFir POLYFIR96TO11[3];
