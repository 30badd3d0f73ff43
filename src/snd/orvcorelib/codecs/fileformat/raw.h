// The raw reader: headerless 16-bit little-endian stereo at 44100 Hz, read front to back.
#pragma once

#include "codecs/decoder/decoder.h"
#include "orvsys/orvint.h"

#include <cstdio>

struct raw_container {
    FILE *fd;
};

// Opens fileName; the format is fixed, the length unknown, and seeks are not carried out.
decoder_error raw_Open(decoder_struct *d, const char *fileName);

// Delivers up to *outSize frames; a short read gives the whole frames read and
// DECODER_ERROR_ENDOFFILE.
decoder_error raw_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Closes the file and frees the record.
decoder_error raw_Close(decoder_struct *d);
