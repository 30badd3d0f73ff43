// Creation, sizing queries and the table of supported rate pairs.
#include "srconv/srconv.h"

#include "srconv/srconv_ring.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <limits>

using namespace srconv_detail;

namespace {

struct SupportedPair {
    u32 inputRate;
    u32 outputRate;
    const PolyphaseFir *set; // three descriptors, indexed by srconv_quality
};

// Pairs with the same ratio share a set.
constexpr SupportedPair kSupportedPairs[] = {
    {8000, 44100, POLYFIR8TO44},   {11025, 44100, POLYFIR11TO44}, {16000, 44100, POLYFIR16TO44},
    {22050, 44100, POLYFIR22TO44}, {24000, 44100, POLYFIR24TO44}, {32000, 44100, POLYFIR32TO44},
    {48000, 44100, POLYFIR48TO44}, {64000, 44100, POLYFIR64TO44}, {88200, 44100, POLYFIR88TO44},
    {96000, 44100, POLYFIR96TO44},

    {8000, 22050, POLYFIR16TO44},  {11025, 22050, POLYFIR22TO44}, {16000, 22050, POLYFIR32TO44},
    {24000, 22050, POLYFIR48TO44}, {32000, 22050, POLYFIR64TO44}, {44100, 22050, POLYFIR88TO44},
    {48000, 22050, POLYFIR96TO44}, {88200, 22050, POLYFIR44TO11}, {96000, 22050, POLYFIR96TO22},

    {8000, 11025, POLYFIR32TO44},  {12000, 11025, POLYFIR48TO44}, {16000, 11025, POLYFIR64TO44},
    {22050, 11025, POLYFIR88TO44}, {24000, 11025, POLYFIR96TO44}, {44100, 11025, POLYFIR44TO11},
    {48000, 11025, POLYFIR96TO22}, {96000, 11025, POLYFIR96TO11},
};

// The read position is Q12 in 32 bits and may run up to about two rings ahead of the
// last rebase, so the ring stays well below 2^20 frames; block sizes are capped to match.
constexpr u64 kMaxBlockFrames = u64{1} << 16;
constexpr u64 kMinRingBlock = 64;
constexpr u64 kRingBlocks = 4;

const PolyphaseFir *findSet(u32 inputRate, u32 outputRate) {
    for (const SupportedPair &pair : kSupportedPairs) {
        if (pair.inputRate == inputRate && pair.outputRate == outputRate) return pair.set;
    }
    return nullptr;
}

u32 saturateU32(u64 v) {
    return static_cast<u32>(std::min<u64>(v, std::numeric_limits<u32>::max()));
}

template <typename T>
T *allocZeroed(u64 count) {
    return static_cast<T *>(std::calloc(count, sizeof(T)));
}

} // namespace

int srconv_isSupported(u32 inputSampleRate, u32 outputSampleRate) {
    if (inputSampleRate == 0) return 0;
    return inputSampleRate == outputSampleRate || findSet(inputSampleRate, outputSampleRate) != nullptr;
}

srconv_struct *srconv_new(u32 inputSampleRate, u32 outputSampleRate, u32 numChannels, u32 maxBlockSize,
                          srconv_quality quality) {
    const PolyphaseFir *set = findSet(inputSampleRate, outputSampleRate);
    if (set == nullptr || numChannels == 0 || numChannels > kMaxChannels) return nullptr;
    if (quality < SRCONV_QUALITY_LOW || quality > SRCONV_QUALITY_HIGH) return nullptr;
    const PolyphaseFir *fir = &set[quality];

    // Enough input for maxBlockSize outputs, plus the filter's reach and the frames a
    // caller re-feeds after a seek. The caller may also hand over maxBlockSize frames at
    // once, so buffers are sized from the larger of the two.
    const u64 needed = fir->numTaps + u64{inputSampleRate} * maxBlockSize / outputSampleRate + 1;
    const u64 blockFrames = std::max<u64>(needed, maxBlockSize);
    if (blockFrames > kMaxBlockFrames) return nullptr;
    const u64 ringFrames = kRingBlocks * std::bit_ceil(std::max(blockFrames, kMinRingBlock));

    auto *s = allocZeroed<srconv_struct>(1);
    if (s == nullptr) return nullptr;
    s->numChannels = numChannels;
    s->inputSampleRate = inputSampleRate;
    s->outputSampleRate = outputSampleRate;
    s->maxInputBlockSize = static_cast<u32>(blockFrames);
    s->tempBuffer = allocZeroed<audio16>(blockFrames * numChannels);
    s->srconvHandle = allocZeroed<srconv_handle>(1);
    srconv_handle *h = s->srconvHandle;
    if (h != nullptr) h->inputBuffer = allocZeroed<audio16>(ringFrames * numChannels);
    if (s->tempBuffer == nullptr || h == nullptr || h->inputBuffer == nullptr) {
        srconv_destroy(s);
        return nullptr;
    }
    h->polyphaseFir = fir;
    h->step = static_cast<u32>((u64{inputSampleRate} << kFracBits) / outputSampleRate);
    h->ratio = static_cast<u32>((u64{outputSampleRate} << kFracBits) / inputSampleRate);
    h->bufferSize = static_cast<u32>(ringFrames);
    h->bufferSize_ = h->bufferSize - 1;
    h->readOffset = 0;
    // Zero history before the first input frame: half the filter plus the frame under it.
    h->writOffset = halfTaps(*h) + 1;
    return s;
}

u32 srconv_getInSize(const srconv_struct *s, u32 outSize) {
    if (s == nullptr) return 0;
    const srconv_handle &h = *s->srconvHandle;
    const u64 end = (u64{h.readOffset} + u64{outSize} * h.step) >> kFracBits;
    return saturateU32(end - (h.readOffset >> kFracBits));
}

u32 srconv_getOutSize(const srconv_struct *s, s32 inSize) {
    if (s == nullptr || inSize < 0 || static_cast<u32>(inSize) > s->maxInputBlockSize) return 0;
    const srconv_handle &h = *s->srconvHandle;
    const s64 last = lastReadablePosition(h, inSize);
    if (last < static_cast<s64>(h.readOffset >> kFracBits)) return 0;
    // Read positions readOffset + k * step stay readable while below (last + 1) << 12.
    const u64 limit = static_cast<u64>(last + 1) << kFracBits;
    return saturateU32((limit - h.readOffset + h.step - 1) / h.step);
}

u32 srconv_getInDelay(const srconv_struct *s) {
    return s == nullptr ? 0 : halfTaps(*s->srconvHandle) + 1;
}

u32 srconv_getInitialDelay(const srconv_struct *s) {
    if (s == nullptr) return 0;
    const srconv_handle &h = *s->srconvHandle;
    return static_cast<u32>((u64{h.ratio} * halfTaps(h)) >> kFracBits);
}

void srconv_destroy(srconv_struct *s) {
    if (s == nullptr) return;
    if (s->srconvHandle != nullptr) std::free(s->srconvHandle->inputBuffer);
    std::free(s->srconvHandle);
    std::free(s->tempBuffer);
    std::free(s);
}
