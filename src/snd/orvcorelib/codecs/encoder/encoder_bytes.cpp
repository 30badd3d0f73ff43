#include "codecs/encoder/encoder.h"

#include "orvsys/lebytes.h"

int TestBigEndian() {
    return 0;
}

void swap16(void *buffer, u32 numWords) {
    auto *p = static_cast<u8 *>(buffer);
    for (u32 i = 0; i < numWords; ++i, p += 2) {
        const u8 first = p[0];
        p[0] = p[1];
        p[1] = first;
    }
}

void pack32BE(u32 value, u8 **buffer, u32 *bytesLeft) {
    if (*bytesLeft < 4) return;
    u8 *p = *buffer;
    p[0] = static_cast<u8>(value >> 24);
    p[1] = static_cast<u8>(value >> 16);
    p[2] = static_cast<u8>(value >> 8);
    p[3] = static_cast<u8>(value);
    *buffer += 4;
    *bytesLeft -= 4;
}

void pack32LE(u32 value, u8 **buffer, u32 *bytesLeft) {
    if (*bytesLeft < 4) return;
    orv::putLE32(*buffer, value);
    *buffer += 4;
    *bytesLeft -= 4;
}

void pack16LE(u16 value, u8 **buffer, u32 *bytesLeft) {
    if (*bytesLeft < 2) return;
    orv::putLE16(*buffer, value);
    *buffer += 2;
    *bytesLeft -= 2;
}
