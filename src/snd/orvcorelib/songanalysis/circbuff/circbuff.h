// A ring of 32-bit values written one at a time and read in order, by absolute running
// position, or from the newest end. The beat tracker keeps its onset values and taps in
// them; integers are stored bit for bit in the float slots.
//
// Running positions only grow (until a reset); the value at position p lies at slot
// p mod uiSize, for negative p too. No locks: one ring belongs to one thread.
#pragma once

#include "orvsys/orvint.h"

using circbuffdata_t = float;

struct circbuff_struct {
    circbuffdata_t *rpBuff;
    u32 uiSize; // capacity
    s32 iRead;  // running positions; unread values lie in [iRead, iWrite)
    s32 iWrite;
};

// A ring of size zeroed values; null for size 0 or exhausted memory.
circbuff_struct *circbuff_new(u32 size);
// Returns null; accepts null.
circbuff_struct *circbuff_destroy(circbuff_struct *cb);
// Zeroes the values and both positions.
void circbuff_reset(circbuff_struct *cb);

// Appends values. All or nothing (allowPartial 0): only when size is below the free room
// (one slot to spare). Partial: one by one while the ring is not full. Returns the number
// written; a negative size counts as 0.
s32 circbuff_write(circbuff_struct *cb, const circbuffdata_t *rpIn, s32 size, s32 allowPartial);

// Takes unread values in order. All or nothing: only when size is below the unread count.
// Partial: while unread values remain. Returns the number read.
s32 circbuff_read(circbuff_struct *cb, circbuffdata_t *out, s32 size, s32 allowPartial);

// out[0], out[1] = the values at iRead - 1 and iRead; advances iRead by one. Returns 2.
s32 circbuff_read2(circbuff_struct *cb, circbuffdata_t *out);

// Copies the values at running positions offset .. offset + size - 1. Returns size.
s32 circbuff_readAtOffset(const circbuff_struct *cb, circbuffdata_t *out, s32 size, s32 offset);

// Copies the newest size values, oldest first. Returns size.
s32 circbuff_readLatest(const circbuff_struct *cb, circbuffdata_t *out, s32 size);

s32 circbuff_getNumberOfUnreadData(const circbuff_struct *cb);
