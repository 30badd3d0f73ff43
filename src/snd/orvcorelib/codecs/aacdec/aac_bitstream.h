// MSB-first bit reader over a caller's byte buffer. Reading past the end yields zero bits
// and is reported by laac_BitsOverrun, so a decoder checks once per element instead of per
// read; nothing is ever read outside the buffer.
#pragma once

#include "orvsys/orvint.h"

#include <bit>
#include <cstring>

namespace aacdec {

struct BitStreamInfo {
    const u8 *buf;
    s32 nBytes;
    s64 bitPos; // may run past nBytes * 8; bits there read as zero
};

// Needs buf to hold nBytes bytes (nBytes >= 0).
inline void laac_SetBitstreamPointer(BitStreamInfo &bsi, int nBytes, const u8 *buf) {
    bsi.buf = buf;
    bsi.nBytes = nBytes < 0 ? 0 : nBytes;
    bsi.bitPos = 0;
}

// The next 32 bits, left-aligned, without moving.
inline u32 laac_GetBitsNoAdvance32(const BitStreamInfo &bsi) {
    const s64 byte = bsi.bitPos >> 3;
    const int shift = static_cast<int>(bsi.bitPos & 7);
    u64 word = 0;
    if (byte + 8 <= bsi.nBytes) {
        std::memcpy(&word, bsi.buf + byte, 8);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    } else {
        for (int i = 0; i < 8; i++) {
            const s64 at = byte + i;
            word = (word << 8) | (at < bsi.nBytes ? bsi.buf[at] : 0u);
        }
    }
    return static_cast<u32>((word << shift) >> 32);
}

// The next nBits (0..32) bits, right-aligned, without moving.
inline u32 laac_GetBitsNoAdvance(const BitStreamInfo &bsi, int nBits) {
    if (nBits <= 0) return 0;
    return laac_GetBitsNoAdvance32(bsi) >> (32 - nBits);
}

inline void laac_AdvanceBitstream(BitStreamInfo &bsi, int nBits) {
    bsi.bitPos += nBits;
}

// Reads nBits (0..32) bits.
inline u32 laac_GetBits(BitStreamInfo &bsi, int nBits) {
    const u32 v = laac_GetBitsNoAdvance(bsi, nBits);
    bsi.bitPos += nBits;
    return v;
}

inline void laac_ByteAlignBitstream(BitStreamInfo &bsi) {
    bsi.bitPos = (bsi.bitPos + 7) & ~s64{7};
}

// Bits read since the start of the buffer.
inline s64 laac_CalcBitsUsed(const BitStreamInfo &bsi) {
    return bsi.bitPos;
}

// True once a read went past the end of the buffer.
inline bool laac_BitsOverrun(const BitStreamInfo &bsi) {
    return bsi.bitPos > s64{bsi.nBytes} * 8;
}

} // namespace aacdec
