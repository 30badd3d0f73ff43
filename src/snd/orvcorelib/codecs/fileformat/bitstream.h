// The input buffer of coded bytes that the stream readers hand to the frame decoders.
#pragma once

#include "orvsys/orvint.h"

#include <cstdio>

struct bitstream_t {
    u8 *bsBuffer;     // the bytes
    u8 *bsOffset;     // the next unread byte
    s32 bytesLeft;    // unread bytes from bsOffset on
    s32 bsBufferSize; // bytes the buffer holds
};

// Returns an empty buffer of size zeroed bytes, or null for a size below 1 or no memory.
bitstream_t *bitstream_new(s32 size);

// Frees the buffer (null allowed); returns null.
bitstream_t *bitstream_destory(bitstream_t *bs);

// Zeroes the bytes and empties the buffer.
void bitstream_reset(bitstream_t *bs);

// Refills from the file once less than half the buffer is unread: the unread bytes move to the
// start, the rest is read from the file (bytes the read did not supply are zeroed) and
// *fileDepleted becomes 1 when the read returned nothing, else 0. Returns bytesLeft.
s32 bitstream_read(bitstream_t *bs, FILE *handle, s32 *fileDepleted);
