// Byte-order helpers for file formats. Files written by the unit are little-endian on every
// build; AIFF and MP4 are big-endian. These read and write through byte pointers, so they
// never depend on the host's byte order or on alignment. Callers check bounds first.
#pragma once

#include "orvsys/orvint.h"

namespace orv {

constexpr u16 getLE16(const u8 *p) {
    return static_cast<u16>(p[0] | (p[1] << 8));
}
constexpr u32 getLE32(const u8 *p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}
constexpr u64 getLE64(const u8 *p) {
    return getLE32(p) | (static_cast<u64>(getLE32(p + 4)) << 32);
}
constexpr u16 getBE16(const u8 *p) {
    return static_cast<u16>((p[0] << 8) | p[1]);
}
constexpr u32 getBE32(const u8 *p) {
    return (static_cast<u32>(p[0]) << 24) | (static_cast<u32>(p[1]) << 16) | (static_cast<u32>(p[2]) << 8) |
           static_cast<u32>(p[3]);
}
constexpr u64 getBE64(const u8 *p) {
    return (static_cast<u64>(getBE32(p)) << 32) | getBE32(p + 4);
}

constexpr void putLE16(u8 *p, u16 v) {
    p[0] = static_cast<u8>(v);
    p[1] = static_cast<u8>(v >> 8);
}
constexpr void putLE32(u8 *p, u32 v) {
    putLE16(p, static_cast<u16>(v));
    putLE16(p + 2, static_cast<u16>(v >> 16));
}
constexpr void putLE64(u8 *p, u64 v) {
    putLE32(p, static_cast<u32>(v));
    putLE32(p + 4, static_cast<u32>(v >> 32));
}

// A four-character code as it reads in a little-endian u32 ("RIFF" -> 0x46464952).
constexpr u32 fourccLE(const char (&code)[5]) {
    return static_cast<u32>(static_cast<u8>(code[0])) | (static_cast<u32>(static_cast<u8>(code[1])) << 8) |
           (static_cast<u32>(static_cast<u8>(code[2])) << 16) |
           (static_cast<u32>(static_cast<u8>(code[3])) << 24);
}
// A four-character code as it reads in a big-endian u32 ("FORM" -> 0x464F524D).
constexpr u32 fourccBE(const char (&code)[5]) {
    return (static_cast<u32>(static_cast<u8>(code[0])) << 24) |
           (static_cast<u32>(static_cast<u8>(code[1])) << 16) |
           (static_cast<u32>(static_cast<u8>(code[2])) << 8) | static_cast<u32>(static_cast<u8>(code[3]));
}

} // namespace orv
