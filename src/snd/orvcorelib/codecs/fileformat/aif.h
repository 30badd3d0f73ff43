// The AIFF reader: 8, 16 or 24-bit samples in one or two channels, in standard big-endian
// files ("FORM") and in files whose every number and identifier is byte-reversed ("MROF").
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/pcmconvert.h"
#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>

struct aif_form {
    u32 ckID;
    u32 ckSize;
    u32 formType;
};

struct aif_chuck {
    u32 ckID;
    u32 ckSize;
};

struct aif_comm {
    s16 numChannels;
    u32 numSampleFrames;
    s16 sampleSize;
    u8 sampleRate[10]; // IEEE 754 80-bit extended, most significant byte first
};

struct aif_container {
    FILE *fd;
    size_t fileLength;
    pcm_converter pcm_decoder;
    u16 channels;
    u32 samplerate;
    u32 nbits;
    u32 bitrate;
    u32 samples;          // frames
    s64 audioLength;      // bytes of sample data, up to the end of the sound chunk
    s64 audioOffset;      // the current frame
    s64 audioStartOffset; // file offset of the first sample
    s32 endian;           // 1 when the file's numbers are big-endian
    s32 bufferSize;       // frames the read buffer holds
    u8 *buffer;
};

// The value of an 80-bit extended number (bytes most significant first): 0 for zero, infinity
// for the largest exponent, else the mantissa scaled by the exponent, with its sign.
double ConvertFromIeeeExtended(const u8 *bytes);

// Opens fileName, reads its "COMM" and "SSND" chunks (in either order) and fills the decoder's
// fields. Returns 0, or an error with nothing left open.
decoder_error aif_Open(decoder_struct *d, const char *fileName);

// Carries out a pending seek and delivers up to *outSize frames; see the reader family.
decoder_error aif_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Closes the file and frees the record.
decoder_error aif_Close(decoder_struct *d);

// Writes the current frame to *position; returns 0.
decoder_error aif_GetSampleOffset(decoder_struct *d, s32 *position);
