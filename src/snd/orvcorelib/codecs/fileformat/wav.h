// The WAV reader: integer PCM of 8, 16 or 24 bits in one or two channels.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/pcmconvert.h"
#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>

struct wav_container {
    FILE *fd;
    size_t fileLength;
    pcm_converter pcm_decoder;
    u16 channels;
    u32 samplerate;
    u32 nbits; // bits per sample
    u32 bitrate;
    u32 samples;          // frames
    s64 audioLength;      // bytes of sample data
    s64 audioOffset;      // the current frame
    s64 audioStartOffset; // file offset of the first sample
    s32 bufferSize;       // frames the read buffer holds
    u8 *buffer;           // the raw bytes of one read
};

// Opens fileName, walks its chunks to "data" and fills the decoder's fields. Returns 0, or an
// error with nothing left open.
decoder_error wav_Open(decoder_struct *d, const char *fileName);

// Carries out a pending seek and delivers up to *outSize frames; see the reader family.
decoder_error wav_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Closes the file and frees the record.
decoder_error wav_Close(decoder_struct *d);

// Writes the current frame to *position; returns 0.
decoder_error wav_GetSampleOffset(decoder_struct *d, s32 *position);
