// The resampler's life cycle, buffer, writer, reader positions and reads.
#include "resampler/resampler.h"

#include "orvsys/debugmsg.h"
#include "resampler/resampler_internal.h"

#include <new>

using namespace orv::rs;

namespace {

constexpr u32 kDefaultInitDelay = 49;
constexpr s32 kRateLimit = 0x20000;
constexpr u32 kTableHalfLen = 6;
constexpr u32 kTablePhases = 4;
// One second of audio at the unit's rate, between two underrun notices.
constexpr s32 kUnderrunNoticeFrames = 44100;

bool ownsTaps(const resampler_struct &r) {
    return r.method == FIRSINCTAB || r.method == FIRSINCWIN ||
           (r.method == FIRSINCTAB2 && r.numChannels == 1);
}

u32 tapCount(const resampler_struct &r) {
    return r.method == FIRSINCWIN ? 2 * r.iFilterHalfLen + 1 : kTableTapCount;
}

bool hasBuffer(const resampler_struct *r) {
    return r && r->pBuffer && r->iBufferSize > 0;
}

// Both readers at their initial delays: a negative position that the first read wraps to
// the buffer's end.
void resetReaders(resampler_struct *r, s32 delayInp, s32 delayNInp) {
    r->iAPtr = 0;
    r->iWPtr = -1;
    r->fRate = kOneFrame;
    r->fRPtrInp = -(delayInp + 1) * kOneFrame;
    r->lowerBound = -1;
    r->upperBound = -1;
    r->iInitDelay[0] = static_cast<u32>(delayInp);
    r->iInitDelay[1] = static_cast<u32>(delayNInp);
    r->iAPtrInp = -(delayInp + 1);
    r->iAPtrNInp = -(delayNInp + 1);
    r->iRPtrNInp = -(delayNInp + 1) + (delayNInp >= 0 ? static_cast<s32>(r->iBufferSize) : 0);
}

// An internal buffer of at least `frames` frames, cleared to silence; false when it cannot
// be allocated (the old one then stays).
bool prepareInternalBuffer(resampler_struct *r, u32 frames) {
    const std::size_t samples = static_cast<std::size_t>(frames) * r->numChannels;
    if (!r->pInternalBuffer || r->iInternalBufferSize < frames) {
        audio16 *grown = new (std::nothrow) audio16[samples];
        if (!grown) return false;
        delete[] r->pInternalBuffer;
        r->pInternalBuffer = grown;
        r->iInternalBufferSize = frames;
    }
    std::memset(r->pInternalBuffer, 0, samples * sizeof(audio16));
    return true;
}

bool delayFits(s32 delay) {
    return delay >= -static_cast<s32>(RESAMPLER_MAX_BUFFER_FRAMES) &&
           delay <= static_cast<s32>(RESAMPLER_MAX_BUFFER_FRAMES);
}

} // namespace

namespace orv::rs {

bool outsideBoundsSlow(const resampler_struct &r, s64 first, s64 last) {
    const s64 size = r.iBufferSize;
    s64 len = s64{r.upperBound} - r.lowerBound + 1;
    if (r.upperBound < r.lowerBound) len += size;
    const s64 left = wrapOnce(first - r.lowerBound, size);
    const s64 right = wrapOnce(last - r.lowerBound, size);
    return left > len || right > len || right < left;
}

void reportUnderrun(resampler_struct &r) {
    if (r.iUnderrunQuiet > 0) return;
    debugmsg("resampler underrun\n");
    r.iUnderrunQuiet = kUnderrunNoticeFrames;
}

resampler_kernel kernelFor(resampler_method method, u32 numChannels) {
    const bool stereo = numChannels == 2;
    switch (method) {
    case NEAREST:
        return stereo ? kernelNearest<2> : kernelNearest<1>;
    case LINEAR:
        return stereo ? kernelLinear<2> : kernelLinear<1>;
    case THREEPT:
        return stereo ? kernelThreePointStereo : kernelThreePointMono;
    case FIRSINCTAB:
        return stereo ? kernelTableFir<2> : kernelTableFir<1>;
    case FIRSINCWIN:
        return stereo ? kernelWindowedSinc<2> : kernelWindowedSinc<1>;
    case FIRSINCTAB2:
        return stereo ? kernelTwoStageStereo : kernelTableFir<1>;
    }
    return nullptr;
}

} // namespace orv::rs

resampler_struct *resampler_new(u32 numChannels, resampler_method method, u8 iFilterWinTabIntFlag,
                                u32 iFilterNumPhases, u32 iFilterHalfLen, s32 fFilterBeta) {
    if (numChannels != 1 && numChannels != 2) return nullptr;
    if (method == FIRSINCWIN && iFilterHalfLen > RESAMPLER_MAX_HALF_LEN) return nullptr;
    resampler_struct *r = new (std::nothrow) resampler_struct{};
    if (!r) return nullptr;
    r->method = method;
    r->numChannels = numChannels;
    r->iFilterWinTabIntFlag = iFilterWinTabIntFlag;
    r->iFilterNumPhases = iFilterNumPhases;
    r->iFilterHalfLen = iFilterHalfLen;
    r->fFilterBeta = fFilterBeta;
    if (method == FIRSINCTAB) {
        r->iFilterHalfLen = kTableHalfLen;
        r->iFilterNumPhases = kTablePhases;
    }
    r->fp = kernelFor(method, numChannels);
    if (ownsTaps(*r)) {
        r->pB = new (std::nothrow) s32[tapCount(*r)]();
        if (!r->pB) return resampler_destroy(r);
    }
    if (method == FIRSINCTAB2 && numChannels == 2) {
        // Each resampler has its own grid, so resamplers in different threads share nothing.
        r->pGrid = new (std::nothrow) audio16[2 * RESAMPLER_MAX_GRID_FRAMES]();
        if (!r->pGrid) return resampler_destroy(r);
    }
    resetReaders(r, kDefaultInitDelay, kDefaultInitDelay);
    return r;
}

resampler_struct *resampler_destroy(resampler_struct *r) {
    if (!r) return nullptr;
    delete[] r->pInternalBuffer;
    delete[] r->pB;
    delete[] r->pGrid;
    delete r;
    return nullptr;
}

s32 resampler_setBuffer(resampler_struct *r, s32 iInitDelayInp, s32 iInitDelayNInp, audio16 *buffer,
                        u32 iBufferSize) {
    if (!r || iBufferSize > RESAMPLER_MAX_BUFFER_FRAMES) return -1;
    if (!delayFits(iInitDelayInp) || !delayFits(iInitDelayNInp)) return -1;
    if (buffer) {
        r->pBuffer = buffer;
    } else if (iBufferSize > 0) {
        if (!prepareInternalBuffer(r, iBufferSize)) return -1;
        r->pBuffer = r->pInternalBuffer;
    } else {
        r->pBuffer = nullptr;
    }
    r->iBufferSize = r->pBuffer ? iBufferSize : 0;
    if (r->pB && r->method != FIRSINCTAB2)
        std::memset(r->pB, 0, (2 * static_cast<std::size_t>(r->iFilterHalfLen) + 1) * sizeof(s32));
    resetReaders(r, iInitDelayInp, iInitDelayNInp);
    return 0;
}

s32 resampler_write(resampler_struct *r, const audio16 *pIn, u32 iInSize) {
    if (!hasBuffer(r) || !pIn || iInSize == 0) return 0;
    const u32 size = r->iBufferSize;
    const u32 ch = r->numChannels;
    // Only the last buffer's worth of a long write survives; the write position moves by all.
    const u32 skipped = iInSize > size ? iInSize - size : 0;
    u32 at = circularIndex(s64{r->iWPtr} + 1 + skipped, size);
    const audio16 *src = pIn + static_cast<std::size_t>(skipped) * ch;
    u32 left = iInSize - skipped;
    while (left > 0) {
        const u32 run = left < size - at ? left : size - at;
        std::memcpy(r->pBuffer + static_cast<std::size_t>(at) * ch, src,
                    static_cast<std::size_t>(run) * ch * sizeof(audio16));
        src += static_cast<std::size_t>(run) * ch;
        left -= run;
        at = at + run == size ? 0 : at + run;
    }
    r->iWPtr = static_cast<s32>(at == 0 ? size - 1 : at - 1);
    r->iAPtr = static_cast<s32>(static_cast<u32>(r->iAPtr) + iInSize);
    return 0;
}

s32 resampler_setRateInp(resampler_struct *r, s32 fRate) {
    if (!r) return -1;
    if (fRate > kRateLimit || fRate < -kRateLimit) {
        r->fRate = fRate > 0 ? kRateLimit : -kRateLimit;
        return -1;
    }
    r->fRate = fRate;
    return 0;
}

s32 resampler_setFractionalOffsetInp(resampler_struct *r, u32 offset) {
    if (!r || (offset >> kFracBits) >= r->iBufferSize) return -1;
    r->fRPtrInp = static_cast<s32>(offset);
    r->iAPtrInp = static_cast<s32>(offset >> kFracBits);
    return 0;
}

s32 resampler_setOffsetInp(resampler_struct *r, u32 offset) {
    if (!r || offset >= r->iBufferSize) return -1;
    r->fRPtrInp = static_cast<s32>(offset << kFracBits);
    r->iAPtrInp = static_cast<s32>(offset);
    return 0;
}

s32 resampler_setDelayInp(resampler_struct *r, s32 iDelay) {
    if (!r || iDelay < 0 || static_cast<u32>(iDelay) >= r->iBufferSize) return -1;
    r->iAPtrInp = static_cast<s32>(s64{r->iAPtr} - iDelay);
    r->fRPtrInp = static_cast<s32>(wrapOnce(s64{r->iWPtr} - iDelay, r->iBufferSize)) << kFracBits;
    return 0;
}

s32 resampler_setBoundsInp(resampler_struct *r, s32 lowerBound, s32 upperBound) {
    if (!r) return -1;
    r->lowerBound = lowerBound;
    r->upperBound = upperBound;
    return 0;
}

s32 resampler_getNumSamplesForRead(const resampler_struct *r, s32 desiredNumSamples, s32 rate) {
    if (!r) return 0;
    const s64 magnitude = rate < 0 ? -s64{rate} : s64{rate};
    s64 margin = 0;
    switch (r->method) {
    case NEAREST:
    case LINEAR:
        margin = 2;
        break;
    case THREEPT:
        margin = 3;
        break;
    case FIRSINCTAB:
        if (magnitude <= kOneFrame)
            margin = 2 + 6;
        else
            margin = 0x10000 / magnitude == 0 ? 2 + 24 : 2 + 24 / (0x10000 / magnitude);
        break;
    case FIRSINCWIN:
        margin = s64{r->iFilterHalfLen} + 2;
        break;
    case FIRSINCTAB2:
        margin = 12;
        break;
    }
    const s64 pos = s64{r->iAPtrInp} * kOneFrame + (r->fRPtrInp & kFracMask);
    // The initial delay is stored unsigned but set from a signed delay.
    const s64 delay = static_cast<s32>(r->iInitDelay[0]);
    const s64 frames =
        ((s64{desiredNumSamples} * magnitude + pos) >> kFracBits) - r->iAPtrInp + 1 + delay + margin;
    return static_cast<s32>(frames < 0 ? 0 : (frames > 0x7FFFFFFF ? 0x7FFFFFFF : frames));
}

s32 resampler_readInp(resampler_struct *r, audio16 *pOut, s32 iOutSize) {
    if (!r || !pOut || iOutSize <= 0) return 0;
    if (!hasBuffer(r) || !r->fp) {
        zeroFrames(pOut, 0, iOutSize, r->numChannels);
        return 0;
    }
    r->iUnderrunQuiet = r->iUnderrunQuiet > iOutSize ? r->iUnderrunQuiet - iOutSize : 0;
    const s32 oldFrac = r->fRPtrInp & kFracMask;
    const s32 produced = r->fp(r, pOut, iOutSize);
    r->iAPtrInp = static_cast<s32>(s64{r->iAPtrInp} + ((oldFrac + s64{r->fRate} * produced) >> kFracBits));
    return produced;
}

s32 resampler_setDelayNInp(resampler_struct *r, s32 iDelay) {
    if (!r || iDelay < 0 || static_cast<u32>(iDelay) >= r->iBufferSize) return -1;
    r->iAPtrNInp = static_cast<s32>(s64{r->iAPtr} - iDelay);
    r->iRPtrNInp = static_cast<s32>(wrapOnce(s64{r->iWPtr} - iDelay, r->iBufferSize));
    return 0;
}

s32 resampler_readNInp(resampler_struct *r, audio16 *pOut, s32 iOutSize, s32 iOverlap) {
    if (!r || !pOut || iOutSize < 0) return -1;
    const u32 ch = r->numChannels;
    const s32 fresh = iOutSize - iOverlap;
    if (!hasBuffer(r) || iOverlap < 0 || fresh < 0 || s64{r->iAPtr} < s64{r->iAPtrNInp} + fresh) {
        zeroFrames(pOut, 0, iOutSize, ch);
        return -1;
    }
    r->iAPtrNInp = static_cast<s32>(s64{r->iAPtrNInp} + fresh);
    const u32 size = r->iBufferSize;
    u32 at = circularIndex(s64{r->iRPtrNInp} - iOverlap, size);
    for (s32 k = 0; k < iOutSize; ++k) {
        at = at + 1 == size ? 0 : at + 1;
        for (u32 c = 0; c < ch; ++c)
            pOut[static_cast<std::size_t>(k) * ch + c] = r->pBuffer[static_cast<std::size_t>(at) * ch + c];
    }
    r->iRPtrNInp = static_cast<s32>(at);
    return 0;
}

s32 resampler_enableInterpolation(resampler_struct *r, u8 enabled) {
    if (!r) return -1;
    r->iFilterWinTabIntFlag = enabled;
    return r->method == FIRSINCTAB ? 0 : -1;
}
