// Internal state and stage calls of the MP3 decoder. Number formats between the stages:
// the Huffman stage writes sign and magnitude (bit 31 the sign); the dequantiser turns them
// into two's-complement values in Q23 of full scale times sqrt(2) (the gain that mid/side
// frames leave out of their sum); the inverse transform's windows take the sqrt(2) back out,
// so its output and the synthesis buffer are Q23 of full scale. Each stage keeps the guard
// bits of each channel (leading sign bits minus one) so that the next can scale down first.
#pragma once

#include "codecs/mp3dec/mp3dec.h"
#include "codecs/mp3dec/mp3tables.h"
#include "orvsys/orvint.h"

inline constexpr int MAINBUF_SIZE = 1940;
inline constexpr int MAX_NGRAN = 2;
inline constexpr int MAX_NCHAN = 2;
inline constexpr int MAX_NSAMP = 576;
inline constexpr int NBANDS = 32;
inline constexpr int BLOCK_SIZE = 18;
inline constexpr int VBUF_LENGTH = 17 * 2 * NBANDS; // one half of the synthesis buffer
inline constexpr int MAX_SCFBD = 4;
inline constexpr int HUFF_PAIRTABS = 32;

enum StereoMode { Stereo = 0, Joint = 1, Dual = 2, Mono = 3 };

struct FrameHeader {
    int ver; // MPEGVersion
    int layer;
    int crc;
    int brIdx;
    int srIdx;
    int paddingBit;
    int privateBit;
    int sMode; // StereoMode
    int modeExt;
    int copyFlag;
    int origFlag;
    int emphasis;
    int CRCWord;
    const SFBandTable *sfBand;
};

struct SideInfoSub {
    int part23Length;
    int nBigvals;
    int globalGain;
    int sfCompress;
    int winSwitchFlag;
    int blockType;
    int mixedBlock;
    int tableSelect[3];
    int subBlockGain[3];
    int region0Count;
    int region1Count;
    int preFlag;
    int sfactScale;
    int count1TableSelect;
};

struct SideInfo {
    int mainDataBegin;
    int privateBits;
    int scfsi[MAX_NCHAN][MAX_SCFBD];
    SideInfoSub sis[MAX_NGRAN][MAX_NCHAN];
};

struct ScaleFactorInfoSub {
    u8 l[23];
    u8 s[13][3];
};

// MPEG-2 intensity-stereo parameters of the right channel.
struct ScaleFactorJS {
    int intensityScale;
    int slen[4];
    int nr[4];
};

struct ScaleFactorInfo {
    ScaleFactorInfoSub sfis[MAX_NGRAN][MAX_NCHAN];
    ScaleFactorJS sfjs;
};

struct HuffmanInfo {
    s32 huffDecBuf[MAX_NCHAN][MAX_NSAMP];
    int nonZeroBound[MAX_NCHAN];
    int gb[MAX_NCHAN];
};

enum { CB_LONG = 0, CB_SHORT = 1, CB_MIXED = 2 };

// Where a channel's non-zero values end, by band (each count is one past the last band that
// holds a non-zero value, 0 for none).
struct CriticalBandInfo {
    int cbType;
    int cbEndS[3];
    int cbEndSMax;
    int cbEndL;
};

struct DequantInfo {
    s32 workBuf[198];
    CriticalBandInfo cbi[MAX_NCHAN];
};

struct IMDCTInfo {
    s32 outBuf[MAX_NCHAN][BLOCK_SIZE][NBANDS];
    s32 overBuf[MAX_NCHAN][MAX_NSAMP / 2];
    int numPrevIMDCT[MAX_NCHAN];
    int prevType[MAX_NCHAN];
    int prevWinSwitch[MAX_NCHAN];
    int gb[MAX_NCHAN];
};

struct SubbandInfo {
    s32 vbuf[2 * VBUF_LENGTH];
    int vindex;
};

struct MP3DecInfo {
    FrameHeader *FrameHeaderPS;
    SideInfo *SideInfoPS;
    ScaleFactorInfo *ScaleFactorInfoPS;
    HuffmanInfo *HuffmanInfoPS;
    DequantInfo *DequantInfoPS;
    IMDCTInfo *IMDCTInfoPS;
    SubbandInfo *SubbandInfoPS;

    unsigned char mainBuf[MAINBUF_SIZE];

    int freeBitrateFlag;
    int freeBitrateSlots;

    int bitrate;
    int nChans;
    int samprate;
    int nGrans;
    int nGranSamps;
    int nSlots;
    int layer;
    int version; // MPEGVersion

    int mainDataBegin;
    int mainDataBytes;

    int part23Length[MAX_NGRAN][MAX_NCHAN];
};

struct BitStreamInfo {
    const unsigned char *bytePtr;
    u32 iCache;
    int cachedBits;
    int nBytes;
};

// Bit reader: bits come most significant first; past the end it yields zero bits and counts
// them as used, so an overrun shows in lmp3_CalcBitsUsed.
void lmp3_SetBitstreamPointer(BitStreamInfo *bsi, int nBytes, const unsigned char *buf);
u32 lmp3_GetBits(BitStreamInfo *bsi, int nBits);
int lmp3_CalcBitsUsed(const BitStreamInfo *bsi, const unsigned char *startBuf, int startOffset);

// Needs: buf holds 4 bytes, 6 when the header announces a CRC word. Returns the header length
// (4 or 6) or -1 (no instance, no sync, reserved fields).
int lmp3_UnpackFrameHeader(MP3DecInfo *mp3DecInfo, const unsigned char *buf);
// Needs: buf holds the side-information bytes of the last header. Returns their count or -1.
int lmp3_UnpackSideInfo(MP3DecInfo *mp3DecInfo, const unsigned char *buf);
// 1 when the last header had its padding bit, 0 when not, -1 without an instance or header.
int lmp3_CheckPadBit(MP3DecInfo *mp3DecInfo);

// Reads one granule's and channel's scale factors from bitsAvail bits starting *bitOffset
// bits into buf. Returns the whole bytes advanced (and moves *bitOffset), or -1.
int lmp3_UnpackScaleFactors(MP3DecInfo *mp3DecInfo, const unsigned char *buf, int *bitOffset, int bitsAvail,
                            int gr, int ch);

// Decodes exactly huffBlockBits bits of spectral values into huffDecBuf[ch]. Returns the
// whole bytes advanced (and moves *bitOffset), or -1 for a bad table or a code that runs past
// the granule's bits.
int lmp3_DecodeHuffman(MP3DecInfo *mp3DecInfo, const unsigned char *buf, int *bitOffset, int huffBlockBits,
                       int gr, int ch);

// Dequantises every channel of granule gr and applies the stereo tools. 0 or -1.
int lmp3_Dequantize(MP3DecInfo *mp3DecInfo, int gr);
// One channel in place; returns its guard bits.
int lmp3_DequantChannel(s32 *sampleBuf, s32 *workBuf, int *nonZeroBound, const FrameHeader *fh,
                        const SideInfoSub *sis, const ScaleFactorInfoSub *sfis, CriticalBandInfo *cbi);
void lmp3_MidSideProc(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, u32 mOut[2]);
void lmp3_IntensityProcMPEG1(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, const FrameHeader *fh,
                             const ScaleFactorInfoSub *sfis, const CriticalBandInfo *cbi, int midSideFlag,
                             int mixFlag, u32 mOut[2]);
void lmp3_IntensityProcMPEG2(s32 x[MAX_NCHAN][MAX_NSAMP], int nSamps, const FrameHeader *fh,
                             const ScaleFactorInfoSub *sfis, const CriticalBandInfo *cbi,
                             const ScaleFactorJS *sfjs, int midSideFlag, int mixFlag, u32 mOut[2]);

// Hybrid inverse transform of one channel of granule gr into outBuf[ch]. 0 or -1.
int lmp3_IMDCT(MP3DecInfo *mp3DecInfo, int gr, int ch);

// Synthesises one granule into pcmBuf. 0 or -1.
int lmp3_Subband(MP3DecInfo *mp3DecInfo, short *pcmBuf, int downSampleFactor);
void lmp3_FDCT32(s32 *buf, s32 *dest, int offset, int oddBlock, int gb);
void lmp3_FDCT16(s32 *buf, s32 *dest, int offset, int oddBlock, int gb);
void lmp3_FDCT08(s32 *buf, s32 *dest, int offset, int oddBlock, int gb);
void lmp3_PolyphaseMono(short *pcm, const s32 *vbuf, const s32 *coefBase);
void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase);
void lmp3_PolyphaseStereo(short *pcm, const s32 *vbuf, const s32 *coefBase, int factor);
void lmp3_PolyphaseStereoH(short *pcm, const s32 *vbuf, const s32 *coefBase);
void lmp3_PolyphaseStereoQ(short *pcm, const s32 *vbuf, const s32 *coefBase);

// Guard bits of a set of values from the OR of their magnitudes (x ^ sign): leading zeros
// minus one; 31 for all zeros.
int lmp3_GuardBits(u32 magnitudeOr);
inline u32 lmp3_Magnitude(s32 x) {
    return static_cast<u32>(x ^ (x >> 31));
}
// OR of the magnitudes of n values (in runs of four, which the compiler can vectorise).
inline u32 lmp3_MagnitudeOr(const s32 *x, int n) {
    u32 acc = 0;
    int i = 0;
    for (; i + 4 <= n; i += 4)
        for (int k = 0; k < 4; ++k) acc |= lmp3_Magnitude(x[i + k]);
    for (; i < n; ++i) acc |= lmp3_Magnitude(x[i]);
    return acc;
}
