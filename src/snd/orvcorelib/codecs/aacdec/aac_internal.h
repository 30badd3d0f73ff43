// The decoder instance, its work area and the internal steps shared by the decoder's files.
#pragma once

#include "codecs/aacdec/aac_bitstream.h"
#include "codecs/aacdec/aac_tables.h"
#include "codecs/aacdec/aacdec.h"

namespace aacdec {

inline constexpr int kWinSeqOnlyLong = 0;
inline constexpr int kWinSeqLongStart = 1;
inline constexpr int kWinSeqEightShort = 2;
inline constexpr int kWinSeqLongStop = 3;

inline constexpr int kCbZero = 0;
inline constexpr int kCbEsc = 11;
inline constexpr int kCbReserved = 12;
inline constexpr int kCbNoise = 13;
inline constexpr int kCbIntensity2 = 14; // out of phase
inline constexpr int kCbIntensity = 15;  // in phase

inline constexpr int kProfileLC = 1;
inline constexpr int kNumPCE = 16;
inline constexpr int kDataBufSize = 510;
inline constexpr int kFillBufSize = 269;
inline constexpr int kMaxPredSFB = 41;
inline constexpr int kMaxTnsCoefs = 60;

struct ADTSHeader {
    u8 id, layer, protectBit, profile, sampRateIdx, privateBit, channelConfig;
    u8 origCopy, home, copyBit, copyStart;
    s32 frameLength;
    s32 bufferFull;
    u8 numRawDataBlocks;
    s32 crcCheckWord;
};

struct ADIFHeader {
    u8 copyBit, origCopy, home, bsType;
    s32 bitRate;
    u8 numPCE;
    s32 bufferFull;
    u8 copyID[9];
};

struct ProgConfigElement {
    u8 elemInstTag, profile, sampRateIdx;
    u8 numFCE, numSCE, numBCE, numLCE, numADE, numCCE;
    u8 monoMixdown, stereoMixdown, matrixMixdown;
    u8 fce[15], sce[15], bce[15], lce[3], ade[7], cce[15];
};

struct ICSInfo {
    u8 icsResBit, winSequence, winShape, maxSFB, sfGroup;
    u8 predictorDataPresent, predictorReset, predictorResetGroupNum;
    u8 predictionUsed[kMaxPredSFB];
    u8 numWinGroup;
    u8 winGroupLen[kMaxWinGroups];
};

struct PulseInfo {
    u8 pulseDataPresent, numPulse, startSFB;
    u8 offset[4], amp[4];
};

struct TNSInfo {
    u8 tnsDataPresent;
    u8 numFilt[8], coefRes[8];
    u8 length[8], order[8], dir[8];
    s8 coef[kMaxTnsCoefs]; // sign-extended compressed values
};

struct GainControlInfo {
    u8 gainControlDataPresent, maxBand;
    u8 adjNum[3][8];
    u8 alevCode[3][8][7];
    u8 alocCode[3][8][7];
};

struct PSInfoBase {
    ADTSHeader fhADTS;
    ADIFHeader fhADIF;
    ProgConfigElement pce[kNumPCE];
    s32 dataCount;
    u8 dataBuf[kDataBufSize];
    s32 fillCount;
    u8 fillBuf[kFillBufSize];
    s32 nChans;
    s32 useImpChanMap;
    s32 sampRateIdx;
    ICSInfo icsInfo[AAC_MAX_NCHANS];
    s32 commonWin;
    s16 scaleFactors[AAC_MAX_NCHANS][kSFBEntries];
    u8 sfbCodeBook[AAC_MAX_NCHANS][kSFBEntries];
    s32 msMaskPresent;
    u8 msMaskBits[15]; // one bit per window group and band, eight to a byte
    s32 pnsUsed[AAC_MAX_NCHANS];
    u32 pnsLastVal;
    s32 intensityUsed[AAC_MAX_NCHANS];
    PulseInfo pulseInfo[AAC_MAX_NCHANS];
    TNSInfo tnsInfo[AAC_MAX_NCHANS];
    s32 tnsLPCBuf[20];
    s32 tnsWorkBuf[20];
    GainControlInfo gainControlInfo[AAC_MAX_NCHANS];
    s32 gbCurrent[AAC_MAX_NCHANS];
    s32 coef[AAC_MAX_NCHANS][AAC_MAX_NSAMPS];
    s32 overlap[AAC_MAX_NCHANS][AAC_MAX_NSAMPS];
    s32 prevWinShape[AAC_MAX_NCHANS];
};

struct AACDecInfo {
    PSInfoBase *psInfoBase;
    void *psInfoSBR;
    void *rawSampleBuf[2];
    s32 rawSampleBytes;
    s32 rawSampleFBits;
    u8 *fillBuf;
    s32 fillCount;
    s32 fillExtType;
    s32 prevBlockID;
    s32 currBlockID;
    s32 currInstTag;
    s32 sbDeinterleaveReqd[AAC_MAX_NCHANS];
    s32 adtsBlocksLeft;
    s32 bitRate;
    s32 nChans;
    s32 sampRate;
    s32 profile;
    s32 format;
    s32 sbrEnabled;
    s32 tnsUsed;
    s32 pnsUsed;
    s32 frameCount;
};

// Saturation to the symmetric range +-(2^31 - 1): every spectral and time value can then be
// negated safely.
inline s32 satSym32(s64 v) {
    constexpr s64 kMax = 0x7FFFFFFF;
    return static_cast<s32>(v > kMax ? kMax : (v < -kMax ? -kMax : v));
}

// The ms mask bit of window group g, band sfb.
inline bool msMaskBit(const PSInfoBase &ps, int g, int sfb, int maxSFB) {
    const int bit = g * maxSFB + sfb;
    return (ps.msMaskBits[bit >> 3] >> (bit & 7)) & 1;
}

// The band layout of a channel's windows.
inline const SfbLayout &bandLayout(const PSInfoBase &ps, const ICSInfo &ics) {
    return ics.winSequence == kWinSeqEightShort ? laac_sfBandTabShort[ps.sampRateIdx]
                                                : laac_sfBandTabLong[ps.sampRateIdx];
}

// Guard bits of a magnitude mask: leading zeros minus one, 31 for zero.
int guardBits(u32 magnitudeOr);
// Lowers ps.gbCurrent[ch] to what the channel's spectrum needs now.
void refreshGuardBits(PSInfoBase &ps, int ch);

// Stream headers and elements (aac_headers.cpp). Each returns 0 or an error code.
int laac_UnpackADTSHeader(AACDecInfo &dec, BitStreamInfo &bsi);
int laac_UnpackADIFHeader(AACDecInfo &dec, BitStreamInfo &bsi);
int laac_DecodeProgramConfigElement(ProgConfigElement &pce, BitStreamInfo &bsi);
int laac_DecodeNextElement(AACDecInfo *dec, BitStreamInfo &bsi);

// Individual channel stream (aac_noiseless.cpp).
int laac_DecodeICSInfo(BitStreamInfo &bsi, ICSInfo &ics, int sampRateIdx);
int laac_DecodeNoiselessData(AACDecInfo *dec, BitStreamInfo &bsi, int ch);
int laac_DecodeHuffmanScalar(const u16 *table, const HuffInfo &info, u32 bitBuf, int *val);

// Spectral tools. Each returns 0, or a negative value without an instance or work area.
int laac_Dequantize(AACDecInfo *dec, int ch);
int laac_StereoProcess(AACDecInfo *dec, int forceMono);
int laac_PNS(AACDecInfo *dec, int ch);
int laac_TNSFilter(AACDecInfo *dec, int ch);
int laac_IMDCT(AACDecInfo *dec, int ch, int chOut, short *outbuf);

// DCT-IV of 1024 (tabidx 1) or 128 (tabidx 0) values in place; gb: the input's guard bits.
// Returns the number of bits the result must still be shifted right (negative: left).
int laac_DCT4(int tabidx, s32 *coef, int gb);
// Radix-2 complex FFT in place of 512 (tabidx 1) or 64 (tabidx 0) interleaved points.
void laac_R4FFT(int tabidx, s32 *x);

} // namespace aacdec
