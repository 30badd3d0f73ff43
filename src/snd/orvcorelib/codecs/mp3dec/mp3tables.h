// Constant tables of the MP3 decoder: the published header, band and scale-factor tables
// (mp3tables.cpp) and the generated lookup, window, transform and power tables
// (mp3tables_gen.cpp and mp3tables_gen.h, written by tools/mp3tables/gen_mp3tables.py).
#pragma once

#include "orvsys/orvint.h"

// Scale-factor band boundaries of one version and rate: 23 long-block and 14 short-block.
struct SFBandTable {
    s16 l[23];
    s16 s[14];
};

enum class HuffTabType : u8 { noBits, oneShot, loopNoLinbits, loopLinbits, quadA, quadB, invalidTab };

struct HuffTabLookup {
    s32 linBits;
    HuffTabType tabType;
    s32 rootBits; // bits looked up first in the table's lookup tree
};

// Huffman lookup entries: a leaf holds (bits used at its level << 16) | (x << 8) | y (quadruple
// tables: the four values v w x y in bits 3..0); a node has bit 31 set, (sub-table bits << 16)
// and the sub-table's offset from the table's start.
inline constexpr u32 kHuffNode = 0x80000000u;

extern const s32 lmp3_samplerateTab[3][3];
extern const s16 lmp3_bitrateTab[3][3][15];
extern const s16 lmp3_samplesPerFrameTab[3][3];
extern const s16 lmp3_sideBytesTab[3][2];
extern const s16 lmp3_slotTab[3][3][15];
extern const SFBandTable lmp3_sfBandTable[3][3];

extern const u8 lmp3_slen1Tab[16];
extern const u8 lmp3_slen2Tab[16];
extern const u8 lmp3_preTab[22];
extern const u8 lmp3_nrTab[6][3][4];

extern const u32 lmp3_huffTable[];
extern const s32 lmp3_huffTabOffset[32];
extern const HuffTabLookup lmp3_huffTabLookup[32];
extern const u32 lmp3_quadTable[];
extern const s32 lmp3_quadTabOffset[2];
extern const s32 lmp3_quadTabMaxBits[2];

// Window and transform constants (mp3tables_gen.h), compile-time values:
// - lmp3_polyCoef[264]: synthesis window D[i] x 2^18 in the order the windowing reads it.
// - inverse transform (Q31): lmp3_imdctWin[4][36], the windows of block types 0..3 (including
//   1/sqrt(2)); the 18-point DCT-IV as pre-twiddle (lmp3_imdctTwiddle18[18]), 18-point DCT-II
//   split into 9 sums (lmp3_dct9Even[8][9], Q30) and 9 differences (lmp3_dct9Odd[9][9]), and
//   recursion; the 6-point DCT-IV matrix lmp3_imdct6[6][6]; alias-reduction butterflies
//   lmp3_aliasCs[8], lmp3_aliasCa[8].
// - odd-output matrices of the synthesis DCT-II at each size (Q31): lmp3_dctOdd32[16][16],
//   lmp3_dctOdd16[8][8], lmp3_dctOdd8[4][4], lmp3_dctOdd4[2][2], lmp3_dctOdd2[1][1].
#include "codecs/mp3dec/mp3tables_gen.h"

// Dequantiser: n^(4/3) x 2^(f/4) for n < 64 (Q22); polynomial for ((1 + u) / 2)^(4/3) with
// u in Q31 (coefficients Q30, lowest order first); 2^(r/3 + f/4) (Q29).
extern const s32 lmp3_pow43[4][64];
extern const s32 lmp3_pow43Poly[10];
extern const s32 lmp3_pow2ThirdQuarter[3][4];

// Intensity stereo (Q30): MPEG-1 left factor [midSide][isPos]; MPEG-2 io^k
// [intensityScale][midSide][k]; factors of an illegal position [midSide][left, right].
extern const s32 lmp3_ISFMpeg1[2][7];
extern const s32 lmp3_ISFMpeg2[2][2][16];
extern const s32 lmp3_ISFIIP[2][2];
