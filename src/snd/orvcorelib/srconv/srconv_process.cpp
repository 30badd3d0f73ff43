// The converter's process step: append input to the ring, then filter one output frame per
// step of the read position for as long as the ring holds every frame the filter reaches.
#include "srconv/srconv.h"

#include "orvsys/orvfixed.h"
#include "srconv/srconv_ring.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace srconv_detail;

namespace {

constexpr int kCoefBits = 15;
// Rounds to the nearest output value. Adding a whole 1 << 15 instead would lift every
// output by one LSB, so silence would come out as 1.
constexpr s64 kHalfOutputLsb = s64{1} << (kCoefBits - 1);

// Frames the ring can take without overwriting one the next output still reads: those
// from the filter's first frame, (readOffset >> 12) - halfTaps, up to the last written.
u32 ringFreeFrames(const srconv_handle &h) {
    const s64 firstNeeded = static_cast<s64>(h.readOffset >> kFracBits) - halfTaps(h);
    const s64 held = std::max<s64>(0, static_cast<s64>(h.writOffset) - firstNeeded);
    return static_cast<u32>(std::max<s64>(0, static_cast<s64>(h.bufferSize) - held));
}

void appendToRing(srconv_handle &h, const audio16 *pIn, u32 frames, u32 channels) {
    if (frames == 0) return;
    const u32 at = h.writOffset & h.bufferSize_;
    const u32 first = std::min(frames, h.bufferSize - at);
    std::memcpy(h.inputBuffer + size_t{at} * channels, pIn, size_t{first} * channels * sizeof(audio16));
    std::memcpy(h.inputBuffer, pIn + size_t{first} * channels,
                size_t{frames - first} * channels * sizeof(audio16));
    h.writOffset += frames;
}

// One output frame at the current read position. The phase picks every numPhases-th
// coefficient starting at o (1..numPhases); the 64-bit sums cannot overflow, whatever
// the table and the input.
template <u32 kChannels>
void filterFrame(const srconv_handle &h, u32 runtimeChannels, audio16 *out) {
    const u32 channels = kChannels != 0 ? kChannels : runtimeChannels;
    const PolyphaseFir &fir = *h.polyphaseFir;
    const u32 phases = fir.numPhases;
    const u32 phase = phases - (((h.readOffset & kFracMask) * phases) >> kFracBits);
    // Below the first written frame this wraps, which the ring mask turns into the zeroed
    // history at the ring's end.
    u32 frame = (h.readOffset >> kFracBits) - halfTaps(h);

    std::array<s64, kMaxChannels> sum{};
    for (u32 index = phase; index < fir.numCoefs; index += phases, ++frame) {
        const s32 coef = fir.coef[index];
        const audio16 *in = h.inputBuffer + size_t{frame & h.bufferSize_} * channels;
        for (u32 c = 0; c < channels; ++c) sum[c] += coef * in[c];
    }
    for (u32 c = 0; c < channels; ++c) out[c] = orv::sat16(orv::asr64(sum[c] + kHalfOutputLsb, kCoefBits));
}

template <u32 kChannels>
u32 filterFrames(srconv_handle &h, u32 channels, audio16 *pOut, u32 capacity) {
    const u32 reach = halfTaps(h) + 1;
    u32 written = 0;
    while (written < capacity && h.writOffset >= reach + (h.readOffset >> kFracBits)) {
        filterFrame<kChannels>(h, channels, pOut + size_t{written} * channels);
        h.readOffset += h.step;
        ++written;
    }
    return written;
}

// Keeps both positions small: the ring index only sees them modulo the ring size.
void rebase(srconv_handle &h) {
    if (h.writOffset > h.bufferSize && (h.readOffset >> kFracBits) > h.bufferSize) {
        h.writOffset -= h.bufferSize;
        h.readOffset -= h.bufferSize << kFracBits;
    }
}

} // namespace

srconv_error srconv_process(srconv_struct *s, const audio16 *pIn, s32 inSize, audio16 *pOut, u32 *outSize) {
    if (s == nullptr || outSize == nullptr) return SRCONV_ERROR_ERROR;
    const u32 capacity = *outSize;
    *outSize = 0;
    srconv_handle &h = *s->srconvHandle;
    if (inSize < 0 || static_cast<u32>(inSize) > s->maxInputBlockSize ||
        static_cast<u32>(inSize) > ringFreeFrames(h))
        return SRCONV_ERROR_OVERRUN;
    if ((pIn == nullptr && inSize > 0) || (pOut == nullptr && capacity > 0)) return SRCONV_ERROR_ERROR;

    const u32 channels = s->numChannels;
    appendToRing(h, pIn, static_cast<u32>(inSize), channels);
    switch (channels) {
    case 1:
        *outSize = filterFrames<1>(h, channels, pOut, capacity);
        break;
    case 2:
        *outSize = filterFrames<2>(h, channels, pOut, capacity);
        break;
    default:
        *outSize = filterFrames<0>(h, channels, pOut, capacity);
        break;
    }
    rebase(h);
    return SRCONV_ERROR_NOERROR;
}
