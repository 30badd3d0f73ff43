#include "codecs/fileformat/pcmbuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

pcmbuffer_t *pcmbuffer_new(s32 size) {
    if (size < 1 || size > (INT32_MAX / 2)) return nullptr;
    auto *pcm = new (std::nothrow) pcmbuffer_t{};
    if (pcm == nullptr) return nullptr;
    pcm->pcmBuffer = new (std::nothrow) audio16[2 * static_cast<size_t>(size)]();
    if (pcm->pcmBuffer == nullptr) {
        delete pcm;
        return nullptr;
    }
    pcm->pcmBufferSize = size;
    return pcm;
}

pcmbuffer_t *pcmbuffer_destory(pcmbuffer_t *pcm) {
    if (pcm != nullptr) {
        delete[] pcm->pcmBuffer;
        delete pcm;
    }
    return nullptr;
}

audio16 *pcmbuffer_getBufferForWrite(pcmbuffer_t *pcm, s32 size) {
    const s32 at = pcm->pcmBufferWrite < 0 ? 0 : pcm->pcmBufferWrite % pcm->pcmBufferSize;
    return pcm->pcmBuffer + at;
}

s32 pcmbuffer_getNumSamples(const pcmbuffer_t *pcm) {
    return pcm->pcmBufferWrite - pcm->pcmBufferRead;
}

s32 pcmbuffer_read(pcmbuffer_t *pcm, audio16 *out, s32 frames, s32 numChannels) {
    const s32 size = pcm->pcmBufferSize;
    while (pcm->pcmBufferWrite >= size && pcm->pcmBufferRead >= size) {
        pcm->pcmBufferWrite -= size;
        pcm->pcmBufferRead -= size;
    }
    if (frames <= 0 || numChannels <= 0) return 0;
    // A writer never gets more than one ring ahead; should one do so, only a ring is readable.
    const s32 available = std::min(pcmbuffer_getNumSamples(pcm), size);
    if (available <= 0) return 0;
    const s32 copied = std::min(frames, available / numChannels);
    const s32 samples = copied * numChannels;
    const s32 at = pcm->pcmBufferRead % size;
    const s32 first = std::min(samples, size - at);
    std::memcpy(out, pcm->pcmBuffer + at, static_cast<size_t>(first) * sizeof(audio16));
    std::memcpy(out + first, pcm->pcmBuffer, static_cast<size_t>(samples - first) * sizeof(audio16));
    pcm->pcmBufferRead += samples;
    return copied;
}

void pcmbuffer_reset(pcmbuffer_t *pcm, s32 readOffset) {
    std::memset(pcm->pcmBuffer, 0, 2 * static_cast<size_t>(pcm->pcmBufferSize) * sizeof(audio16));
    pcm->pcmBufferWrite = 0;
    pcm->pcmBufferRead = std::max<s32>(readOffset, 0);
}
