// The WAV writer: interleaved samples stored as a 16-bit integer PCM WAV file (a 44-byte header
// for one or two channels, bare samples for more). Samples are collected in a buffer and
// written in large blocks; the header's two sizes are patched when the file is closed. One
// writer belongs to one thread.
#pragma once

#include "orvsys/orvint.h"

#include <cstdio>

// The value is the bytes per sample.
enum sample_format : int {
    ENCODER_SAMPLE_FORMAT_INT16 = 2,
    ENCODER_SAMPLE_FORMAT_FLOAT32 = 4,
    ENCODER_SAMPLE_FORMAT_FLOAT64 = 8,
};

enum encoder_error : int {
    ENCODER_ERROR_NOERROR = 0,
    ENCODER_ERROR_ENDOFFILE = -1,
    ENCODER_ERROR_OPENFILEFAILED = -2,
    ENCODER_ERROR_CORRUPT = -3,
    ENCODER_ERROR_READERROR = -4,
    ENCODER_ERROR_FILE_EXCEED_MAX_SIZE = -5,
    ENCODER_ERROR_NOTSUPPORTED = -11,
    ENCODER_ERROR_NOTSUPPORTED_CODECS = -12,
    ENCODER_ERROR_NOTSUPPORTED_FILEFORMAT = -13,
    ENCODER_ERROR_NOTSUPPORTED_SAMPLERATE = -14,
    ENCODER_ERROR_NOTSUPPORTED_BITRATE = -15,
    ENCODER_ERROR_NOTSUPPORTED_NUMCHANS = -16,
    ENCODER_ERROR_NOTSEEKABLE = -21,
    ENCODER_ERROR_OUTOFRANGE = -22,
    ENCODER_ERROR_OUTOFMEMORY = -97,
    ENCODER_ERROR_NOTIMPLEMENTED = -98,
    ENCODER_ERROR_ERROR = -99,
};

struct encoder_struct {
    encoder_error lastError;
    sample_format inputSampleFormat; // of the samples handed in
    sample_format fileSampleFormat;  // of the file: 16-bit integer only
    u32 maxBufferSize;               // samples the buffer holds
    u32 numChannels;
    u32 sampleRate;
    s16 *buffer;      // samples waiting to be written
    u32 bufferOffset; // samples in the buffer
    FILE *fileHandle;
    u64 fileSize; // bytes written to the file so far
};

// The largest file the writer makes: an add that would pass it is refused.
inline constexpr u64 kEncoderMaxFileSize = 0x70000000;
inline constexpr u32 kEncoderHeaderBytes = 44;

// Returns a closed writer taking samples of inputSampleFormat through a buffer of maxBufferSize
// samples, or null for an unknown format or no memory.
encoder_struct *encoder_new(sample_format inputSampleFormat, u32 maxBufferSize);

// Creates fileName (it must end in ".wav", case as written) for 16-bit samples at sampleRate
// with numChannels (at least 1), writing the header with both sizes 0. An open writer closes
// its first file first. Refused requests create no file.
encoder_error encoder_open(encoder_struct *e, const char *fileName, u32 sampleRate,
                           sample_format fileSampleFormat, u32 numChannels);

// Adds inSize frames of interleaved samples in the input format (float samples scaled by 32768
// and saturated). Returns ENCODER_ERROR_FILE_EXCEED_MAX_SIZE, writing only what was buffered
// before, when the file would pass kEncoderMaxFileSize; -99 without an open file or after a
// failed write.
encoder_error encoder_addSamples(encoder_struct *e, const void *pIn, u32 inSize);

// Writes what is buffered, patches the header's sizes and closes the file; nothing when closed.
void encoder_close(encoder_struct *e);

// Closes the file when still open and frees the writer (null allowed).
void encoder_destroy(encoder_struct *e);

// Byte helpers the library offers for hand-made headers.
int TestBigEndian();                                   // 0: the unit is little-endian
void swap16(void *buffer, u32 numWords);               // swaps the bytes of each 16-bit word
void pack32BE(u32 value, u8 **buffer, u32 *bytesLeft); // stores and moves on, when 4 bytes remain
void pack32LE(u32 value, u8 **buffer, u32 *bytesLeft); // stores and moves on, when 4 bytes remain
void pack16LE(u16 value, u8 **buffer, u32 *bytesLeft); // stores and moves on, when 2 bytes remain
