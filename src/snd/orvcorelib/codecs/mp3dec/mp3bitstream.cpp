// Bit reader, frame header and side information of the MP3 decoder.
#include "codecs/mp3dec/mp3common.h"

#include "orvmath/orvmath.h"

void lmp3_SetBitstreamPointer(BitStreamInfo *bsi, int nBytes, const unsigned char *buf) {
    bsi->bytePtr = buf;
    bsi->iCache = 0;
    bsi->cachedBits = 0;
    bsi->nBytes = nBytes > 0 ? nBytes : 0;
}

namespace {

// Loads up to four more bytes behind the cached bits; none past the end, where the cache's
// missing bits read as zeros and cachedBits goes negative.
void refillBitCache(BitStreamInfo *bsi) {
    if (bsi->nBytes >= 4) {
        const unsigned char *p = bsi->bytePtr;
        bsi->iCache = (u32{p[0]} << 24) | (u32{p[1]} << 16) | (u32{p[2]} << 8) | u32{p[3]};
        bsi->bytePtr += 4;
        bsi->nBytes -= 4;
        bsi->cachedBits += 32;
        return;
    }
    u32 cache = 0;
    for (int i = 0; i < bsi->nBytes; ++i) cache |= u32{bsi->bytePtr[i]} << (24 - 8 * i);
    bsi->iCache = cache;
    bsi->cachedBits += 8 * bsi->nBytes;
    bsi->bytePtr += bsi->nBytes;
    bsi->nBytes = 0;
}

} // namespace

u32 lmp3_GetBits(BitStreamInfo *bsi, int nBits) {
    nBits &= 31;
    if (nBits == 0) return 0;
    u32 data = bsi->iCache >> (32 - nBits);
    bsi->iCache <<= nBits;
    bsi->cachedBits -= nBits;
    if (bsi->cachedBits < 0) {
        // The low bits of this read were not cached: they come from the next load.
        int owed = -bsi->cachedBits;
        if (owed > nBits) owed = nBits;
        bsi->cachedBits += owed;
        refillBitCache(bsi);
        data |= bsi->iCache >> (32 - owed);
        bsi->iCache <<= owed;
        bsi->cachedBits -= owed;
    }
    return data;
}

int lmp3_CalcBitsUsed(const BitStreamInfo *bsi, const unsigned char *startBuf, int startOffset) {
    const int bytesUsed = static_cast<int>(bsi->bytePtr - startBuf);
    return 8 * bytesUsed - bsi->cachedBits - startOffset;
}

int lmp3_GuardBits(u32 magnitudeOr) {
    return static_cast<int>(orvmath_clz(magnitudeOr)) - 1;
}

int lmp3_CheckPadBit(MP3DecInfo *mp3DecInfo) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS) return -1;
    return mp3DecInfo->FrameHeaderPS->paddingBit ? 1 : 0;
}

int lmp3_UnpackFrameHeader(MP3DecInfo *mp3DecInfo, const unsigned char *buf) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !buf) return -1;
    if (buf[0] != 0xFF || buf[1] < 0xE0) return -1;

    FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    const int verBits = (buf[1] >> 3) & 0x03;
    const int layer = 4 - ((buf[1] >> 1) & 0x03);
    const int brIdx = (buf[2] >> 4) & 0x0F;
    const int srIdx = (buf[2] >> 2) & 0x03;
    if (srIdx == 3 || layer == 4 || brIdx == 15) return -1;

    fh->ver = verBits == 0 ? MPEG25 : (verBits == 2 ? MPEG2 : MPEG1);
    fh->layer = layer;
    fh->crc = 1 - (buf[1] & 0x01);
    fh->brIdx = brIdx;
    fh->srIdx = srIdx;
    fh->paddingBit = (buf[2] >> 1) & 0x01;
    fh->privateBit = buf[2] & 0x01;
    fh->sMode = (buf[3] >> 6) & 0x03;
    fh->modeExt = (buf[3] >> 4) & 0x03;
    fh->copyFlag = (buf[3] >> 3) & 0x01;
    fh->origFlag = (buf[3] >> 2) & 0x01;
    fh->emphasis = buf[3] & 0x03;
    fh->sfBand = &lmp3_sfBandTable[fh->ver][fh->srIdx];
    if (fh->sMode != Joint) fh->modeExt = 0;

    const int mono = fh->sMode == Mono ? 1 : 0;
    mp3DecInfo->nChans = mono ? 1 : 2;
    mp3DecInfo->samprate = lmp3_samplerateTab[fh->ver][fh->srIdx];
    mp3DecInfo->nGrans = fh->ver == MPEG1 ? MAX_NGRAN : 1;
    mp3DecInfo->nGranSamps = lmp3_samplesPerFrameTab[fh->ver][fh->layer - 1] / mp3DecInfo->nGrans;
    mp3DecInfo->layer = fh->layer;
    mp3DecInfo->version = fh->ver;

    if (fh->brIdx != 0) {
        mp3DecInfo->bitrate = lmp3_bitrateTab[fh->ver][fh->layer - 1][fh->brIdx] * 1000;
        mp3DecInfo->freeBitrateFlag = 0;
        mp3DecInfo->nSlots = lmp3_slotTab[fh->ver][fh->srIdx][fh->brIdx] + fh->paddingBit -
                             lmp3_sideBytesTab[fh->ver][mono] - 4 - (fh->crc ? 2 : 0);
    }

    if (fh->crc) {
        fh->CRCWord = (buf[4] << 8) | buf[5];
        return 6;
    }
    fh->CRCWord = 0;
    return 4;
}

namespace {

void unpackGranuleChannel(BitStreamInfo *bsi, SideInfoSub *sis, bool mpeg1) {
    sis->part23Length = static_cast<int>(lmp3_GetBits(bsi, 12));
    sis->nBigvals = static_cast<int>(lmp3_GetBits(bsi, 9));
    sis->globalGain = static_cast<int>(lmp3_GetBits(bsi, 8));
    sis->sfCompress = static_cast<int>(lmp3_GetBits(bsi, mpeg1 ? 4 : 9));
    sis->winSwitchFlag = static_cast<int>(lmp3_GetBits(bsi, 1));
    if (sis->winSwitchFlag) {
        sis->blockType = static_cast<int>(lmp3_GetBits(bsi, 2));
        sis->mixedBlock = static_cast<int>(lmp3_GetBits(bsi, 1));
        sis->tableSelect[0] = static_cast<int>(lmp3_GetBits(bsi, 5));
        sis->tableSelect[1] = static_cast<int>(lmp3_GetBits(bsi, 5));
        sis->tableSelect[2] = 0;
        for (int w = 0; w < 3; ++w) sis->subBlockGain[w] = static_cast<int>(lmp3_GetBits(bsi, 3));
        sis->region0Count = (sis->blockType == 2 && !sis->mixedBlock) ? 8 : 7;
        sis->region1Count = 20 - sis->region0Count;
        if (sis->blockType == 0) {
            // A window switch to block type 0 is reserved: the granule decodes as silence.
            sis->part23Length = 0;
            sis->nBigvals = 0;
            sis->sfCompress = 0;
        }
    } else {
        sis->blockType = 0;
        sis->mixedBlock = 0;
        for (int r = 0; r < 3; ++r) sis->tableSelect[r] = static_cast<int>(lmp3_GetBits(bsi, 5));
        for (int w = 0; w < 3; ++w) sis->subBlockGain[w] = 0;
        sis->region0Count = static_cast<int>(lmp3_GetBits(bsi, 4));
        sis->region1Count = static_cast<int>(lmp3_GetBits(bsi, 3));
    }
    sis->preFlag = mpeg1 ? static_cast<int>(lmp3_GetBits(bsi, 1)) : 0;
    sis->sfactScale = static_cast<int>(lmp3_GetBits(bsi, 1));
    sis->count1TableSelect = static_cast<int>(lmp3_GetBits(bsi, 1));
}

} // namespace

int lmp3_UnpackSideInfo(MP3DecInfo *mp3DecInfo, const unsigned char *buf) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !mp3DecInfo->SideInfoPS || !buf) return -1;
    const FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    SideInfo *si = mp3DecInfo->SideInfoPS;
    const bool mpeg1 = fh->ver == MPEG1;
    const int mono = fh->sMode == Mono ? 1 : 0;
    const int nBytes = lmp3_sideBytesTab[fh->ver][mono];

    BitStreamInfo bsi;
    lmp3_SetBitstreamPointer(&bsi, nBytes, buf);
    if (mpeg1) {
        si->mainDataBegin = static_cast<int>(lmp3_GetBits(&bsi, 9));
        si->privateBits = static_cast<int>(lmp3_GetBits(&bsi, mono ? 5 : 3));
        for (int ch = 0; ch < mp3DecInfo->nChans; ++ch)
            for (int band = 0; band < MAX_SCFBD; ++band)
                si->scfsi[ch][band] = static_cast<int>(lmp3_GetBits(&bsi, 1));
    } else {
        si->mainDataBegin = static_cast<int>(lmp3_GetBits(&bsi, 8));
        si->privateBits = static_cast<int>(lmp3_GetBits(&bsi, mono ? 1 : 2));
    }
    for (int gr = 0; gr < mp3DecInfo->nGrans; ++gr)
        for (int ch = 0; ch < mp3DecInfo->nChans; ++ch) unpackGranuleChannel(&bsi, &si->sis[gr][ch], mpeg1);

    mp3DecInfo->mainDataBegin = si->mainDataBegin;
    return nBytes;
}
