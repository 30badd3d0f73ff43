#include "songanalysis/chksum.h"

#include "orvsys/lebytes.h"

#include <array>
#include <memory>

namespace {

constexpr u32 kPolynomial = 0xEDB88320u;
constexpr size_t kReadBlock = 32768;

// Eight tables for slicing by eight bytes; table 0 is the classic byte-wise table.
using CrcTables = std::array<std::array<u32, 256>, 8>;

constexpr CrcTables makeTables() {
    CrcTables t{};
    for (u32 i = 0; i < 256; ++i) {
        u32 c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    for (u32 i = 0; i < 256; ++i)
        for (size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables kTables = makeTables();

// Folds bytes into a running (not yet complemented) CRC.
u32 fold(u32 crc, const u8 *p, size_t n) {
    while (n >= 8) {
        const u32 lo = orv::getLE32(p) ^ crc;
        const u32 hi = orv::getLE32(p + 4);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

constexpr u8 kFourZeroes[4] = {0, 0, 0, 0};

// The size of an open file, or -1.
long fileSize(FILE *fp) {
    if (std::fseek(fp, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(fp);
    if (size < 0 || std::fseek(fp, 0, SEEK_SET) != 0) return -1;
    return size;
}

} // namespace

u32 chksum_crc32(const u8 *block, u32 length) {
    return ~fold(0xFFFFFFFFu, block, length);
}

u32 calcCRC32(FILE *fp, int append4Zeroes, int zeroLast4Bytes) {
    if (fp == nullptr) return 0xFFFFFFFFu;
    long remaining = fileSize(fp);
    if (remaining < 0) return 0xFFFFFFFFu;
    if (zeroLast4Bytes) remaining = remaining > 4 ? remaining - 4 : 0;

    const auto buffer = std::make_unique<u8[]>(kReadBlock);
    u32 crc = 0xFFFFFFFFu;
    while (remaining > 0) {
        const size_t want =
            remaining < static_cast<long>(kReadBlock) ? static_cast<size_t>(remaining) : kReadBlock;
        if (std::fread(buffer.get(), 1, want, fp) != want) return 0xFFFFFFFFu;
        crc = fold(crc, buffer.get(), want);
        remaining -= static_cast<long>(want);
    }
    if (append4Zeroes || zeroLast4Bytes) crc = fold(crc, kFourZeroes, sizeof kFourZeroes);
    return ~crc;
}

u32 writeCRC32(FILE *fp) {
    const u32 crc = calcCRC32(fp, 1, 0);
    if (fp == nullptr || std::fseek(fp, 0, SEEK_END) != 0) return 0xFFFFFFFFu;
    u8 bytes[4];
    orv::putLE32(bytes, crc);
    if (std::fwrite(bytes, 1, sizeof bytes, fp) != sizeof bytes || std::fflush(fp) != 0) return 0xFFFFFFFFu;
    return crc;
}

s32 checkSelfCRC32(FILE *fp) {
    if (fp == nullptr) return 0;
    const u32 crc = calcCRC32(fp, 0, 1);
    u8 stored[4];
    if (std::fseek(fp, -4, SEEK_END) != 0 || std::fread(stored, 1, sizeof stored, fp) != sizeof stored)
        return 0;
    return orv::getLE32(stored) == crc ? 1 : 0;
}

s32 checkCRC32(FILE *fp, int zeroLast4Bytes, u32 crc32) {
    return calcCRC32(fp, 0, zeroLast4Bytes) == crc32 ? 1 : 0;
}
