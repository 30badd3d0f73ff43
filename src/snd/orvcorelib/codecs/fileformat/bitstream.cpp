#include "codecs/fileformat/bitstream.h"

#include "codecs/fileformat/fileops.h"

#include <cstring>
#include <new>

bitstream_t *bitstream_new(s32 size) {
    if (size < 1) return nullptr;
    auto *bs = new (std::nothrow) bitstream_t{};
    if (bs == nullptr) return nullptr;
    bs->bsBuffer = new (std::nothrow) u8[static_cast<size_t>(size)]();
    if (bs->bsBuffer == nullptr) {
        delete bs;
        return nullptr;
    }
    bs->bsOffset = bs->bsBuffer;
    bs->bsBufferSize = size;
    return bs;
}

bitstream_t *bitstream_destory(bitstream_t *bs) {
    if (bs != nullptr) {
        delete[] bs->bsBuffer;
        delete bs;
    }
    return nullptr;
}

void bitstream_reset(bitstream_t *bs) {
    std::memset(bs->bsBuffer, 0, static_cast<size_t>(bs->bsBufferSize));
    bs->bsOffset = bs->bsBuffer;
    bs->bytesLeft = 0;
}

s32 bitstream_read(bitstream_t *bs, FILE *handle, s32 *fileDepleted) {
    if (bs->bytesLeft >= bs->bsBufferSize / 2) return bs->bytesLeft;
    // A decoder may have reported consuming more than it had; never move bytes from outside.
    const s32 unread = bs->bytesLeft < 0 ? 0 : bs->bytesLeft;
    std::memmove(bs->bsBuffer, bs->bsOffset, static_cast<size_t>(unread));
    const size_t room = static_cast<size_t>(bs->bsBufferSize - unread);
    const size_t got = fileCallback.read(bs->bsBuffer + unread, 1, room, handle);
    std::memset(bs->bsBuffer + unread + got, 0, room - got);
    bs->bytesLeft = unread + static_cast<s32>(got);
    bs->bsOffset = bs->bsBuffer;
    *fileDepleted = got == 0 ? 1 : 0;
    return bs->bytesLeft;
}
