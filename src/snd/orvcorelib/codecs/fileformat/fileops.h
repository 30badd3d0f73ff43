// The file operations every container reader goes through, and the small file helpers they
// share. One table serves the whole process; it holds the standard file functions from the
// start and changes only through decoder_setFileCallback.
#pragma once

#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>

struct file_callback {
    FILE *(*open)(const char *name, const char *mode);
    size_t (*read)(void *buffer, size_t itemSize, size_t count, FILE *handle);
    size_t (*write)(const void *buffer, size_t itemSize, size_t count, FILE *handle);
    int (*seek)(FILE *handle, s64 offset, int whence); // 0, or negative on failure
    s64 (*tell)(FILE *handle);                         // the position, or negative on failure
    int (*close)(FILE *handle);
};

// The shared table, initialised with ufopen and the C library's stdio (64-bit offsets).
extern file_callback fileCallback;

// The head of an ID3v2 tag as read: "ID3", two version bytes, a flag byte and the tag's size in
// four bytes of 7 bits each, most significant first (the 10-byte header not counted).
struct ID3v2Tag {
    char id[3];
    u8 version[2];
    u8 flags;
    u8 size[4];
};

// Reads up to length bytes; returns the bytes read.
u32 read_callback(FILE *handle, char *buffer, u32 length);

// Positions the file at an absolute byte position; returns 0, or negative on failure.
int seek_callback(FILE *handle, u64 position);

// Needs: a file open for reading. Returns the length of an ID3v2 tag at the head of the file
// (its 10-byte header included) with the file positioned just after it, or 0 with the file
// positioned at 0 when the file does not begin with "ID3". A footer is not considered.
int skip_id3tagv2(FILE *handle);

namespace orv {

// Needs: an open file. Returns its length in bytes, or -1 when it cannot be measured;
// the file is left positioned where it was.
s64 fileLength(FILE *handle);

// Reads exactly count bytes; false on a short read.
bool readExactly(FILE *handle, void *buffer, size_t count);

} // namespace orv
