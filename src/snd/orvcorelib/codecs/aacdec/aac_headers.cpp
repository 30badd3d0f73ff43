// Stream headers (ADTS, ADIF), program config elements and the syntax-element reader.
#include "codecs/aacdec/aac_internal.h"

#include <cstring>

namespace aacdec {

namespace {

constexpr u32 kAdifId = 0x41444946; // "ADIF"

void resetElementIds(AACDecInfo &dec) {
    dec.prevBlockID = AAC_ID_INVALID;
    dec.currBlockID = AAC_ID_INVALID;
    dec.currInstTag = -1;
}

// Reads (is-pair << 4) | tag entries.
void readChannelElements(BitStreamInfo &bsi, u8 *out, int count) {
    for (int i = 0; i < count; i++) {
        const u32 isPair = laac_GetBits(bsi, 1);
        out[i] = static_cast<u8>((isPair << 4) | laac_GetBits(bsi, 4));
    }
}

void readTags(BitStreamInfo &bsi, u8 *out, int count, int bitsEach) {
    for (int i = 0; i < count; i++) out[i] = static_cast<u8>(laac_GetBits(bsi, bitsEach));
}

// Output channels a program config element describes.
int pceChannels(const ProgConfigElement &pce) {
    int n = pce.numFCE + pce.numSCE + pce.numBCE + pce.numLCE;
    for (int i = 0; i < pce.numFCE; i++) n += (pce.fce[i] >> 4) & 1;
    for (int i = 0; i < pce.numSCE; i++) n += (pce.sce[i] >> 4) & 1;
    for (int i = 0; i < pce.numBCE; i++) n += (pce.bce[i] >> 4) & 1;
    return n;
}

int readDataStreamElement(PSInfoBase &ps, BitStreamInfo &bsi) {
    laac_GetBits(bsi, 4); // element tag
    const u32 byteAlign = laac_GetBits(bsi, 1);
    int count = static_cast<int>(laac_GetBits(bsi, 8));
    if (count == 255) count += static_cast<int>(laac_GetBits(bsi, 8));
    if (byteAlign) laac_ByteAlignBitstream(bsi);
    ps.dataCount = count;
    for (int i = 0; i < count; i++) ps.dataBuf[i] = static_cast<u8>(laac_GetBits(bsi, 8));
    return ERR_AAC_NONE;
}

int readFillElement(AACDecInfo &dec, PSInfoBase &ps, BitStreamInfo &bsi) {
    int count = static_cast<int>(laac_GetBits(bsi, 4));
    if (count == 15) count += static_cast<int>(laac_GetBits(bsi, 8)) - 1;
    ps.fillCount = count;
    for (int i = 0; i < count; i++) ps.fillBuf[i] = static_cast<u8>(laac_GetBits(bsi, 8));
    dec.currInstTag = -1;
    dec.fillExtType = 0;
    dec.fillBuf = ps.fillBuf;
    dec.fillCount = count;
    return ERR_AAC_NONE;
}

int readChannelPairHead(PSInfoBase &ps, BitStreamInfo &bsi) {
    ps.commonWin = static_cast<s32>(laac_GetBits(bsi, 1));
    ps.msMaskPresent = 0;
    std::memset(ps.msMaskBits, 0, sizeof(ps.msMaskBits));
    if (!ps.commonWin) return ERR_AAC_NONE;
    const int err = laac_DecodeICSInfo(bsi, ps.icsInfo[0], ps.sampRateIdx);
    if (err) return err;
    ps.icsInfo[1] = ps.icsInfo[0];
    ps.msMaskPresent = static_cast<s32>(laac_GetBits(bsi, 2));
    if (ps.msMaskPresent == 3) return ERR_AAC_INVALID_FRAME; // reserved
    if (ps.msMaskPresent == 1) {
        const ICSInfo &ics = ps.icsInfo[0];
        int bit = 0;
        for (int g = 0; g < ics.numWinGroup; g++) {
            for (int sfb = 0; sfb < ics.maxSFB; sfb++, bit++) {
                if (laac_GetBits(bsi, 1)) ps.msMaskBits[bit >> 3] |= static_cast<u8>(1 << (bit & 7));
            }
        }
    }
    return ERR_AAC_NONE;
}

} // namespace

int laac_UnpackADTSHeader(AACDecInfo &dec, BitStreamInfo &bsi) {
    PSInfoBase &ps = *dec.psInfoBase;
    ADTSHeader &h = ps.fhADTS;
    if (laac_GetBits(bsi, 12) != 0xFFF) return ERR_AAC_INVALID_ADTS_HEADER;
    h.id = static_cast<u8>(laac_GetBits(bsi, 1));
    h.layer = static_cast<u8>(laac_GetBits(bsi, 2));
    h.protectBit = static_cast<u8>(laac_GetBits(bsi, 1));
    h.profile = static_cast<u8>(laac_GetBits(bsi, 2));
    h.sampRateIdx = static_cast<u8>(laac_GetBits(bsi, 4));
    h.privateBit = static_cast<u8>(laac_GetBits(bsi, 1));
    h.channelConfig = static_cast<u8>(laac_GetBits(bsi, 3));
    h.origCopy = static_cast<u8>(laac_GetBits(bsi, 1));
    h.home = static_cast<u8>(laac_GetBits(bsi, 1));
    h.copyBit = static_cast<u8>(laac_GetBits(bsi, 1));
    h.copyStart = static_cast<u8>(laac_GetBits(bsi, 1));
    h.frameLength = static_cast<s32>(laac_GetBits(bsi, 13));
    h.bufferFull = static_cast<s32>(laac_GetBits(bsi, 11));
    h.numRawDataBlocks = static_cast<u8>(laac_GetBits(bsi, 2) + 1);
    if (h.protectBit == 0) h.crcCheckWord = static_cast<s32>(laac_GetBits(bsi, 16));
    laac_ByteAlignBitstream(bsi);
    if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;

    if (h.layer != 0 || h.profile != kProfileLC || h.sampRateIdx >= kNumSampRates)
        return ERR_AAC_INVALID_ADTS_HEADER;

    if (!ps.useImpChanMap) ps.nChans = laac_channelMapTab[h.channelConfig];
    ps.sampRateIdx = h.sampRateIdx;
    dec.nChans = ps.nChans;
    dec.sampRate = laac_sampRateTab[h.sampRateIdx];
    dec.profile = h.profile;
    dec.sbrEnabled = 0;
    dec.bitRate = 0;
    resetElementIds(dec);
    dec.adtsBlocksLeft = h.numRawDataBlocks;
    return ERR_AAC_NONE;
}

int laac_DecodeProgramConfigElement(ProgConfigElement &pce, BitStreamInfo &bsi) {
    pce.elemInstTag = static_cast<u8>(laac_GetBits(bsi, 4));
    pce.profile = static_cast<u8>(laac_GetBits(bsi, 2));
    pce.sampRateIdx = static_cast<u8>(laac_GetBits(bsi, 4));
    pce.numFCE = static_cast<u8>(laac_GetBits(bsi, 4));
    pce.numSCE = static_cast<u8>(laac_GetBits(bsi, 4));
    pce.numBCE = static_cast<u8>(laac_GetBits(bsi, 4));
    pce.numLCE = static_cast<u8>(laac_GetBits(bsi, 2));
    pce.numADE = static_cast<u8>(laac_GetBits(bsi, 3));
    pce.numCCE = static_cast<u8>(laac_GetBits(bsi, 4));

    pce.monoMixdown = static_cast<u8>(laac_GetBits(bsi, 1) << 4);
    if (pce.monoMixdown) pce.monoMixdown |= static_cast<u8>(laac_GetBits(bsi, 4));
    pce.stereoMixdown = static_cast<u8>(laac_GetBits(bsi, 1) << 4);
    if (pce.stereoMixdown) pce.stereoMixdown |= static_cast<u8>(laac_GetBits(bsi, 4));
    pce.matrixMixdown = static_cast<u8>(laac_GetBits(bsi, 1) << 4);
    if (pce.matrixMixdown) pce.matrixMixdown |= static_cast<u8>(laac_GetBits(bsi, 3));

    readChannelElements(bsi, pce.fce, pce.numFCE);
    readChannelElements(bsi, pce.sce, pce.numSCE);
    readChannelElements(bsi, pce.bce, pce.numBCE);
    readTags(bsi, pce.lce, pce.numLCE, 4);
    readTags(bsi, pce.ade, pce.numADE, 4);
    readTags(bsi, pce.cce, pce.numCCE, 5); // independent-switching flag and tag

    laac_ByteAlignBitstream(bsi);
    const int commentBytes = static_cast<int>(laac_GetBits(bsi, 8));
    for (int i = 0; i < commentBytes; i++) laac_GetBits(bsi, 8);
    return laac_BitsOverrun(bsi) ? ERR_AAC_INDATA_UNDERFLOW : ERR_AAC_NONE;
}

int laac_UnpackADIFHeader(AACDecInfo &dec, BitStreamInfo &bsi) {
    PSInfoBase &ps = *dec.psInfoBase;
    ADIFHeader &h = ps.fhADIF;
    if (laac_GetBits(bsi, 32) != kAdifId) return ERR_AAC_INVALID_ADIF_HEADER;
    if (laac_GetBits(bsi, 1)) {
        for (u8 &b : h.copyID) b = static_cast<u8>(laac_GetBits(bsi, 8));
    }
    h.origCopy = static_cast<u8>(laac_GetBits(bsi, 1));
    h.home = static_cast<u8>(laac_GetBits(bsi, 1));
    h.bsType = static_cast<u8>(laac_GetBits(bsi, 1));
    h.bitRate = static_cast<s32>(laac_GetBits(bsi, 23));
    h.numPCE = static_cast<u8>(laac_GetBits(bsi, 4) + 1);

    int nChans = 0;
    for (int i = 0; i < h.numPCE; i++) {
        // A constant-rate stream gives the buffer fullness ahead of each element.
        if (h.bsType == 0) h.bufferFull = static_cast<s32>(laac_GetBits(bsi, 20));
        ProgConfigElement &pce = ps.pce[i];
        const int err = laac_DecodeProgramConfigElement(pce, bsi);
        if (err) return err;
        if (pce.profile != kProfileLC || pce.numCCE != 0) return ERR_AAC_INVALID_ADIF_HEADER;
        if (pce.sampRateIdx != ps.pce[0].sampRateIdx || pce.sampRateIdx >= kNumSampRates)
            return ERR_AAC_INVALID_ADIF_HEADER;
        nChans += pceChannels(pce);
    }
    laac_ByteAlignBitstream(bsi);
    if (laac_BitsOverrun(bsi)) return ERR_AAC_INDATA_UNDERFLOW;

    ps.nChans = nChans;
    ps.sampRateIdx = ps.pce[0].sampRateIdx;
    dec.nChans = nChans;
    dec.sampRate = laac_sampRateTab[ps.sampRateIdx];
    dec.profile = ps.pce[0].profile;
    dec.sbrEnabled = 0;
    dec.bitRate = 0;
    resetElementIds(dec);
    return ERR_AAC_NONE;
}

int laac_DecodeNextElement(AACDecInfo *dec, BitStreamInfo &bsi) {
    if (!dec || !dec->psInfoBase) return ERR_AAC_NULL_POINTER;
    PSInfoBase &ps = *dec->psInfoBase;
    dec->prevBlockID = dec->currBlockID;
    dec->currBlockID = static_cast<s32>(laac_GetBits(bsi, 3));
    ps.commonWin = 0;

    int err = ERR_AAC_NONE;
    switch (dec->currBlockID) {
    case AAC_ID_SCE:
    case AAC_ID_LFE:
        dec->currInstTag = static_cast<s32>(laac_GetBits(bsi, 4));
        break;
    case AAC_ID_CPE:
        dec->currInstTag = static_cast<s32>(laac_GetBits(bsi, 4));
        err = readChannelPairHead(ps, bsi);
        break;
    case AAC_ID_DSE:
        err = readDataStreamElement(ps, bsi);
        break;
    case AAC_ID_PCE: {
        ProgConfigElement pce{};
        err = laac_DecodeProgramConfigElement(pce, bsi);
        if (!err) ps.pce[pce.elemInstTag] = pce;
        break;
    }
    case AAC_ID_FIL:
        err = readFillElement(*dec, ps, bsi);
        break;
    default: // CCE, END: nothing more is read
        break;
    }
    if (err) return err;
    return laac_BitsOverrun(bsi) ? ERR_AAC_INDATA_UNDERFLOW : ERR_AAC_NONE;
}

} // namespace aacdec
