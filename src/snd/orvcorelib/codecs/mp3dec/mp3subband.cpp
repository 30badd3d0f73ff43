// Synthesis of one granule: per block, the DCT of each channel into the synthesis buffer and
// the windowing into 16-bit output. The desktop configuration also runs stereo streams at
// half and quarter rate; the unit's configuration writes nothing for a stereo granule at any
// factor but 1 (its MP3 reader uses that to skip the synthesis of warm-up frames).
#include "codecs/mp3dec/mp3common.h"

#include "orvsys/orvconfig.h"

#include <cstring>

namespace {

using Fdct = void (*)(s32 *, s32 *, int, int, int);

void transformBlock(const IMDCTInfo *mi, SubbandInfo *sbi, int ch, int b, Fdct fdct) {
    s32 scratch[NBANDS];
    std::memcpy(scratch, mi->outBuf[ch][b], sizeof scratch);
    fdct(scratch, sbi->vbuf + 32 * ch, sbi->vindex, b & 1, mi->gb[ch]);
}

} // namespace

int lmp3_Subband(MP3DecInfo *mp3DecInfo, short *pcmBuf, int downSampleFactor) {
    if (!mp3DecInfo || !mp3DecInfo->IMDCTInfoPS || !mp3DecInfo->SubbandInfoPS || !pcmBuf) return -1;
    const IMDCTInfo *mi = mp3DecInfo->IMDCTInfoPS;
    SubbandInfo *sbi = mp3DecInfo->SubbandInfoPS;

    if (mp3DecInfo->nChans == 1) {
        for (int b = 0; b < BLOCK_SIZE; ++b) {
            transformBlock(mi, sbi, 0, b, lmp3_FDCT32);
            lmp3_PolyphaseMono(pcmBuf + 32 * b, sbi->vbuf + (b & 1) * VBUF_LENGTH + sbi->vindex,
                               lmp3_polyCoef);
            sbi->vindex = (sbi->vindex - (b & 1)) & 7;
        }
        return 0;
    }

    Fdct fdct = lmp3_FDCT32;
    if (downSampleFactor != 1) {
        if constexpr (orv::kDeviceConfig) return 0;
        if (downSampleFactor == 2)
            fdct = lmp3_FDCT16;
        else if (downSampleFactor == 4)
            fdct = lmp3_FDCT08;
        else
            return 0;
    }
    const int pairsPerBlock = 32 / downSampleFactor;
    for (int b = 0; b < BLOCK_SIZE; ++b) {
        transformBlock(mi, sbi, 0, b, fdct);
        transformBlock(mi, sbi, 1, b, fdct);
        const s32 *v = sbi->vbuf + (b & 1) * VBUF_LENGTH + sbi->vindex;
        if (downSampleFactor == 1)
            lmp3_PolyphaseStereo(pcmBuf + 2 * pairsPerBlock * b, v, lmp3_polyCoef);
        else
            lmp3_PolyphaseStereo(pcmBuf + 2 * pairsPerBlock * b, v, lmp3_polyCoef, downSampleFactor);
        sbi->vindex = (sbi->vindex - (b & 1)) & 7;
    }
    return 0;
}
