#include "songanalysis/circbuff/circbuff.h"

#include <cstdlib>
#include <cstring>

namespace {

// The slot of a running position; positions below 0 wrap to the end of the ring.
u32 slotOf(const circbuff_struct *cb, s64 position) {
    const s64 n = cb->uiSize;
    const s64 r = position % n;
    return static_cast<u32>(r < 0 ? r + n : r);
}

s64 unread(const circbuff_struct *cb) {
    return s64{cb->iWrite} - cb->iRead;
}

} // namespace

circbuff_struct *circbuff_new(u32 size) {
    if (size == 0) return nullptr;
    auto *cb = static_cast<circbuff_struct *>(std::calloc(1, sizeof(circbuff_struct)));
    if (cb == nullptr) return nullptr;
    cb->rpBuff = static_cast<circbuffdata_t *>(std::calloc(size, sizeof(circbuffdata_t)));
    if (cb->rpBuff == nullptr) {
        std::free(cb);
        return nullptr;
    }
    cb->uiSize = size;
    return cb;
}

circbuff_struct *circbuff_destroy(circbuff_struct *cb) {
    if (cb != nullptr) {
        std::free(cb->rpBuff);
        std::free(cb);
    }
    return nullptr;
}

void circbuff_reset(circbuff_struct *cb) {
    std::memset(cb->rpBuff, 0, sizeof(circbuffdata_t) * cb->uiSize);
    cb->iRead = 0;
    cb->iWrite = 0;
}

s32 circbuff_write(circbuff_struct *cb, const circbuffdata_t *rpIn, s32 size, s32 allowPartial) {
    if (size <= 0) return 0;
    s32 count = size;
    if (!allowPartial) {
        if (s64{size} >= s64{cb->uiSize} - unread(cb)) return 0;
    } else {
        const s64 room = s64{cb->uiSize} - unread(cb);
        if (room < count) count = static_cast<s32>(room > 0 ? room : 0);
    }
    for (s32 i = 0; i < count; ++i) cb->rpBuff[slotOf(cb, s64{cb->iWrite} + i)] = rpIn[i];
    cb->iWrite += count;
    return count;
}

s32 circbuff_read(circbuff_struct *cb, circbuffdata_t *out, s32 size, s32 allowPartial) {
    if (size <= 0) return 0;
    s32 count = size;
    if (!allowPartial) {
        if (s64{size} >= unread(cb)) return 0;
    } else if (unread(cb) < count) {
        count = static_cast<s32>(unread(cb) > 0 ? unread(cb) : 0);
    }
    for (s32 i = 0; i < count; ++i) out[i] = cb->rpBuff[slotOf(cb, s64{cb->iRead} + i)];
    cb->iRead += count;
    return count;
}

s32 circbuff_read2(circbuff_struct *cb, circbuffdata_t *out) {
    out[0] = cb->rpBuff[slotOf(cb, s64{cb->iRead} - 1)];
    out[1] = cb->rpBuff[slotOf(cb, cb->iRead)];
    cb->iRead += 1;
    return 2;
}

s32 circbuff_readAtOffset(const circbuff_struct *cb, circbuffdata_t *out, s32 size, s32 offset) {
    if (size <= 0) return 0;
    for (s32 i = 0; i < size; ++i) out[i] = cb->rpBuff[slotOf(cb, s64{offset} + i)];
    return size;
}

s32 circbuff_readLatest(const circbuff_struct *cb, circbuffdata_t *out, s32 size) {
    if (size <= 0) return 0;
    return circbuff_readAtOffset(cb, out, size, cb->iWrite - size);
}

s32 circbuff_getNumberOfUnreadData(const circbuff_struct *cb) {
    return cb->iWrite - cb->iRead;
}
