// The ring of decoded 16-bit samples between a frame decoder and the caller's requests: whole
// decoded frames go in, arbitrary frame counts come out. The counts are running sample counts;
// a position in the ring is a count modulo pcmBufferSize.
#pragma once

#include "orvsys/orvint.h"

struct pcmbuffer_t {
    audio16 *pcmBuffer; // storage of twice the ring size, so a whole frame fits at any position
    s32 pcmBufferSize;  // ring size in samples
    s32 pcmBufferWrite; // samples written so far
    s32 pcmBufferRead;  // samples read so far
};

// Returns a zeroed ring of size samples with both counts 0, or null for a size below 1 or
// no memory.
pcmbuffer_t *pcmbuffer_new(s32 size);

// Frees the ring (null allowed); returns null.
pcmbuffer_t *pcmbuffer_destory(pcmbuffer_t *pcm);

// Returns where the next sample goes; the writer adds what it wrote to pcmBufferWrite. Up to
// pcmBufferSize samples may be written there in one piece.
audio16 *pcmbuffer_getBufferForWrite(pcmbuffer_t *pcm, s32 size);

// Samples written and not yet read (negative while a reset's skip is pending).
s32 pcmbuffer_getNumSamples(const pcmbuffer_t *pcm);

// Copies up to frames whole frames of numChannels samples to out (two pieces when they wrap);
// returns the frames copied.
s32 pcmbuffer_read(pcmbuffer_t *pcm, audio16 *out, s32 frames, s32 numChannels);

// Zeroes the ring and starts it again so that the next readOffset samples written are skipped.
void pcmbuffer_reset(pcmbuffer_t *pcm, s32 readOffset);
