// CRC-32 (IEEE 802.3: reflected polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF)
// over memory and over whole files. The analysis files end with the CRC of their own
// contents, and the result file records the CRCs of the audio, seek-table and waveform
// files so that a later validation can tell whether any of them changed.
//
// Thread-safe: the tables are constants and every call reads through a buffer of its own.
#pragma once

#include "orvsys/orvint.h"

#include <cstdio>

// CRC-32 of a memory block.
u32 chksum_crc32(const u8 *block, u32 length);

// CRC-32 of an open file read from its start. zeroLast4Bytes leaves the last 4 bytes out
// (all of a shorter file); with either flag the CRC then goes on over four zero bytes.
// 0xFFFFFFFF when the file cannot be sought or a read comes short.
u32 calcCRC32(FILE *fp, int append4Zeroes, int zeroLast4Bytes);

// Seals a file open for reading and writing: appends calcCRC32(fp, 1, 0) little-endian.
// Returns the value, or 0xFFFFFFFF when the seek or the write fails.
u32 writeCRC32(FILE *fp);

// 1 when the file's last 4 bytes (little-endian) equal calcCRC32(fp, 0, 1), else 0: a file
// sealed by writeCRC32 checks good.
s32 checkSelfCRC32(FILE *fp);

// 1 when calcCRC32(fp, 0, zeroLast4Bytes) equals crc32, else 0.
s32 checkCRC32(FILE *fp, int zeroLast4Bytes, u32 crc32);
