// Scale factors of one granule and channel, by the MPEG-1 and MPEG-2 rules.
#include "codecs/mp3dec/mp3common.h"

#include <cstring>

namespace {

u8 readSf(BitStreamInfo *bsi, int slen) {
    return static_cast<u8>(lmp3_GetBits(bsi, slen));
}

void unpackMpeg1(BitStreamInfo *bsi, const SideInfoSub *sis, const int *scfsi, int gr,
                 ScaleFactorInfoSub *sfis, const ScaleFactorInfoSub *sfisGr0) {
    const int slen1 = lmp3_slen1Tab[sis->sfCompress & 15];
    const int slen2 = lmp3_slen2Tab[sis->sfCompress & 15];
    if (sis->blockType == 2) {
        int sfb = 0;
        if (sis->mixedBlock) {
            for (; sfb < 8; ++sfb) sfis->l[sfb] = readSf(bsi, slen1);
            sfb = 3;
        }
        for (; sfb < 6; ++sfb)
            for (int w = 0; w < 3; ++w) sfis->s[sfb][w] = readSf(bsi, slen1);
        for (; sfb < 12; ++sfb)
            for (int w = 0; w < 3; ++w) sfis->s[sfb][w] = readSf(bsi, slen2);
        return;
    }
    // Long blocks: four groups of bands, each either read or, in granule 1 with its selection
    // bit, taken over from granule 0.
    static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    for (int g = 0; g < 4; ++g) {
        const int slen = g < 2 ? slen1 : slen2;
        for (int sfb = kGroupStart[g]; sfb < kGroupStart[g + 1]; ++sfb)
            sfis->l[sfb] = (gr == 1 && scfsi[g]) ? sfisGr0->l[sfb] : readSf(bsi, slen);
    }
}

// Bit lengths and band counts of the MPEG-2 scale factors; fills the intensity parameters
// when this is the right channel of an intensity-stereo frame.
void mpeg2Lengths(const SideInfoSub *sis, bool intensityRight, int *slen, int *nr, int *preFlag,
                  ScaleFactorJS *sfjs) {
    const int blockIdx = sis->blockType == 2 ? (sis->mixedBlock ? 2 : 1) : 0;
    int sfc = sis->sfCompress;
    int row;
    *preFlag = 0;
    if (!intensityRight) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            row = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            slen[3] = 0;
            row = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            slen[2] = 0;
            slen[3] = 0;
            *preFlag = 1;
            row = 2;
        }
    } else {
        sfjs->intensityScale = sfc & 1;
        sfc >>= 1;
        if (sfc < 180) {
            slen[0] = sfc / 36;
            slen[1] = (sfc % 36) / 6;
            slen[2] = (sfc % 36) % 6;
            slen[3] = 0;
            row = 3;
        } else if (sfc < 244) {
            sfc -= 180;
            slen[0] = (sfc & 63) >> 4;
            slen[1] = (sfc & 15) >> 2;
            slen[2] = sfc & 3;
            slen[3] = 0;
            row = 4;
        } else {
            sfc -= 244;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            slen[2] = 0;
            slen[3] = 0;
            row = 5;
        }
    }
    for (int i = 0; i < 4; ++i) nr[i] = lmp3_nrTab[row][blockIdx][i];
    if (intensityRight) {
        for (int i = 0; i < 4; ++i) {
            sfjs->slen[i] = slen[i];
            sfjs->nr[i] = nr[i];
        }
    }
}

void unpackMpeg2(BitStreamInfo *bsi, SideInfoSub *sis, bool intensityRight, ScaleFactorInfoSub *sfis,
                 ScaleFactorJS *sfjs) {
    int slen[4], nr[4], preFlag;
    mpeg2Lengths(sis, intensityRight, slen, nr, &preFlag, sfjs);
    sis->preFlag = preFlag;

    // The values fill the bands in order: long bands, or for a mixed block its 6 long bands
    // and then short bands from band 3, or short bands from band 0, three windows each.
    const bool shortBlock = sis->blockType == 2;
    int longBands = shortBlock ? (sis->mixedBlock ? 6 : 0) : 21;
    int sfb = 0, shortSfb = (shortBlock && sis->mixedBlock) ? 3 : 0, window = 0;
    for (int part = 0; part < 4; ++part) {
        for (int i = 0; i < nr[part]; ++i) {
            const u8 v = readSf(bsi, slen[part]);
            if (sfb < longBands) {
                sfis->l[sfb++] = v;
            } else if (shortBlock && shortSfb < 12) {
                sfis->s[shortSfb][window] = v;
                if (++window == 3) {
                    window = 0;
                    ++shortSfb;
                }
            }
        }
    }
}

} // namespace

int lmp3_UnpackScaleFactors(MP3DecInfo *mp3DecInfo, const unsigned char *buf, int *bitOffset, int bitsAvail,
                            int gr, int ch) {
    if (!mp3DecInfo || !mp3DecInfo->FrameHeaderPS || !mp3DecInfo->SideInfoPS ||
        !mp3DecInfo->ScaleFactorInfoPS || !buf || !bitOffset)
        return -1;
    if (gr < 0 || gr >= MAX_NGRAN || ch < 0 || ch >= MAX_NCHAN || *bitOffset < 0 || *bitOffset > 7 ||
        bitsAvail < 0)
        return -1;
    const FrameHeader *fh = mp3DecInfo->FrameHeaderPS;
    SideInfo *si = mp3DecInfo->SideInfoPS;
    ScaleFactorInfo *sfi = mp3DecInfo->ScaleFactorInfoPS;
    ScaleFactorInfoSub *sfis = &sfi->sfis[gr][ch];

    const int startOffset = *bitOffset;
    BitStreamInfo bsi;
    lmp3_SetBitstreamPointer(&bsi, (startOffset + bitsAvail + 7) >> 3, buf);
    lmp3_GetBits(&bsi, startOffset);

    // Bands without transmitted scale factors read as 0 whatever the previous frame held.
    ScaleFactorInfoSub fresh;
    std::memset(&fresh, 0, sizeof fresh);
    if (fh->ver == MPEG1) {
        unpackMpeg1(&bsi, &si->sis[gr][ch], si->scfsi[ch], gr, &fresh, &sfi->sfis[0][ch]);
    } else {
        const bool intensityRight = ch == 1 && (fh->modeExt & 1);
        unpackMpeg2(&bsi, &si->sis[gr][ch], intensityRight, &fresh, &sfi->sfjs);
    }
    *sfis = fresh;

    const int bitsUsed = lmp3_CalcBitsUsed(&bsi, buf, startOffset);
    const int end = startOffset + bitsUsed;
    *bitOffset = end & 7;
    return end >> 3;
}
