// Constant tables of the AAC-LC decoder: the bitstream's own tables (sampling rates,
// scale-factor bands, TNS limits) written out here, and the computed ones (Huffman
// codebooks in canonical form, power table, windows, twiddles) in aac_tables_gen.cpp.
#pragma once

#include "orvsys/orvint.h"

#include <array>

namespace aacdec {

inline constexpr int kNumSampRates = 12;
inline constexpr int kMaxSFB = 51;      // most scale-factor bands of any long window
inline constexpr int kMaxSFBShort = 15; // most scale-factor bands of any short window
inline constexpr int kMaxWinGroups = 8;
inline constexpr int kSFBEntries = 120; // codebook / scale-factor entries per channel

inline constexpr std::array<s32, kNumSampRates> laac_sampRateTab = {96000, 88200, 64000, 48000, 44100, 32000,
                                                                    24000, 22050, 16000, 12000, 11025, 8000};

// Channels by ADTS channel configuration; -1: count them from the frame's elements.
inline constexpr std::array<s32, 8> laac_channelMapTab = {-1, 1, 2, 3, 4, 5, 6, 8};

// Output channels per syntax element id (SCE, CPE, CCE, LFE, DSE, PCE, FIL, END).
inline constexpr std::array<s32, 8> laac_elementNumChans = {1, 2, 0, 1, 0, 0, 0, 0};

// Scale-factor band offsets of long windows: one row per band layout, each ending with 1024.
inline constexpr u16 kSfbLong96[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,
                                     56,  64,  72,  80,  88,  96,  108, 120, 132, 144, 156, 172, 188, 212,
                                     240, 276, 320, 384, 448, 512, 576, 640, 704, 768, 832, 896, 960, 1024};
inline constexpr u16 kSfbLong64[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,
                                     48,  52,  56,  64,  72,  80,  88,  100, 112, 124, 140, 156,
                                     172, 192, 216, 240, 268, 304, 344, 384, 424, 464, 504, 544,
                                     584, 624, 664, 704, 744, 784, 824, 864, 904, 944, 984, 1024};
inline constexpr u16 kSfbLong48[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,
                                     64,  72,  80,  88,  96,  108, 120, 132, 144, 160, 176, 196, 216,
                                     240, 264, 292, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608,
                                     640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};
inline constexpr u16 kSfbLong32[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,
                                     64,  72,  80,  88,  96,  108, 120, 132, 144, 160, 176, 196, 216,
                                     240, 264, 292, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608,
                                     640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 960, 992, 1024};
inline constexpr u16 kSfbLong24[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,
                                     52,  60,  68,  76,  84,  92,  100, 108, 116, 124, 136, 148,
                                     160, 172, 188, 204, 220, 240, 260, 284, 308, 336, 364, 396,
                                     432, 468, 508, 552, 600, 652, 704, 768, 832, 896, 960, 1024};
inline constexpr u16 kSfbLong16[] = {0,   8,   16,  24,  32,  40,  48,  56,  64,  72,  80,
                                     88,  100, 112, 124, 136, 148, 160, 172, 184, 196, 212,
                                     228, 244, 260, 280, 300, 320, 344, 368, 396, 424, 456,
                                     492, 532, 572, 616, 664, 716, 768, 832, 896, 960, 1024};
inline constexpr u16 kSfbLong8[] = {0,   12,  24,  36,  48,  60,  72,  84,  96,  108, 120, 132, 144, 156,
                                    172, 188, 204, 220, 236, 252, 268, 288, 308, 328, 348, 372, 396, 420,
                                    448, 476, 508, 544, 580, 620, 664, 712, 764, 820, 880, 944, 1024};

inline constexpr u16 kSfbShort96[] = {0, 4, 8, 12, 16, 20, 24, 32, 40, 48, 64, 92, 128};
inline constexpr u16 kSfbShort48[] = {0, 4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128};
inline constexpr u16 kSfbShort24[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 64, 76, 92, 108, 128};
inline constexpr u16 kSfbShort16[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 40, 48, 60, 72, 88, 108, 128};
inline constexpr u16 kSfbShort8[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 60, 72, 88, 108, 128};

// One band layout: the offsets (numBands + 1 values, the last the window length).
struct SfbLayout {
    const u16 *offsets;
    int numBands;
};

template <std::size_t N>
constexpr SfbLayout layout(const u16 (&offsets)[N]) {
    return SfbLayout{offsets, static_cast<int>(N) - 1};
}

inline constexpr std::array<SfbLayout, kNumSampRates> laac_sfBandTabLong = {
    layout(kSfbLong96), layout(kSfbLong96), layout(kSfbLong64), layout(kSfbLong48),
    layout(kSfbLong48), layout(kSfbLong32), layout(kSfbLong24), layout(kSfbLong24),
    layout(kSfbLong16), layout(kSfbLong16), layout(kSfbLong16), layout(kSfbLong8)};
inline constexpr std::array<SfbLayout, kNumSampRates> laac_sfBandTabShort = {
    layout(kSfbShort96), layout(kSfbShort96), layout(kSfbShort96), layout(kSfbShort48),
    layout(kSfbShort48), layout(kSfbShort48), layout(kSfbShort24), layout(kSfbShort24),
    layout(kSfbShort16), layout(kSfbShort16), layout(kSfbShort16), layout(kSfbShort8)};

// TNS limits, indexed [profile][sampling-rate index] for the band limits and [profile] for
// the orders (profile 0 Main, 1 Low Complexity, 2 SSR).
inline constexpr u8 laac_tnsMaxBandsLong[3][kNumSampRates] = {
    {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39},
    {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39},
    {28, 28, 27, 26, 26, 26, 29, 29, 23, 23, 23, 19}};
inline constexpr u8 laac_tnsMaxBandsShort[3][kNumSampRates] = {{9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14},
                                                               {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14},
                                                               {7, 7, 7, 6, 6, 6, 7, 7, 8, 8, 8, 7}};
inline constexpr u8 laac_tnsMaxOrderLong[3] = {20, 12, 12};
inline constexpr u8 laac_tnsMaxOrderShort[3] = {7, 7, 7};

// Bands that may carry main-profile prediction flags, per sampling-rate index.
inline constexpr u8 laac_predSFBMax[kNumSampRates] = {33, 33, 38, 40, 40, 40, 41, 41, 37, 37, 37, 34};

// A Huffman codebook in canonical form: the number of codes of each length 1..20 and where
// the book's symbols (sorted by code) start in its symbol table.
struct HuffInfo {
    s32 maxBits;
    u8 count[20];
    s32 offset;
};

// Spectral codebooks 1..11 (index 0..10) share one symbol table; a symbol is the index of
// the quadruple or pair in the book's own order.
extern const HuffInfo kHuffSpecInfo[11];
extern const u16 kHuffSpecSymbols[1241];
// First-level lookup of the codebooks (spectral 1..11, then the scale-factor book), each
// 2^kHuffLutBits entries indexed by the next bits: (code length << 9) | symbol index in the
// book's own order, or 0 for a code longer than kHuffLutBits.
inline constexpr int kHuffLutBits = 10;
extern const u16 kHuffLut[12 << kHuffLutBits];
// Scale-factor codebook: a symbol is the difference plus 60.
extern const HuffInfo kHuffScaleInfo;
extern const u8 kHuffScaleSymbols[121];

inline constexpr int kPow43Size = 8192;
extern const u32 kPow43Q14[kPow43Size]; // |q|^(4/3), 14 fraction bits
extern const s32 kPow2FracQ30[4];       // 2^(f/4), 30 fraction bits

// Rising halves of the windows (the falling half is the mirror image), Q31.
extern const s32 kSineWindowLong[1024];
extern const s32 kSineWindowShort[128];
extern const s32 kKbdWindowLong[1024];
extern const s32 kKbdWindowShort[128];

// (cos, sin) pairs, Q31: pre-twiddle angles pi (n + 1/4) / M, post-twiddle pi k / M, and the
// FFT's 2 pi j / 512 for j < 384 (radix-4 passes reach three times the angle; the
// 64-point FFT takes every eighth).
extern const s32 kPreTwiddle1024[1024];
extern const s32 kPostTwiddle1024[1024];
extern const s32 kPreTwiddle128[128];
extern const s32 kPostTwiddle128[128];
extern const s32 kFftTwiddle512[768];

// TNS reflection coefficients, Q31: [resolution 3 or 4 bits][signed value + 8].
extern const s32 kTnsCoefQ31[32];

} // namespace aacdec
