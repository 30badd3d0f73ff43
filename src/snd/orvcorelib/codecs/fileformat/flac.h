// The FLAC reader: libFLAC's stream decoder decodes, the blocks are kept as 16-bit samples in a
// sample ring, and seeks use libFLAC's sample-accurate seek.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "orvsys/orvint.h"

#include <FLAC/stream_decoder.h>

// Handed to libFLAC's callbacks.
struct DecoderClientData {
    pcmbuffer_t *pcm;
    bool got_data;      // the stream information was seen
    u64 current_sample; // the first sample number of the last block decoded
    u64 total_samples;  // 0 when the stream does not know its length
    u32 sample_rate;
    u32 channels;
    u32 bits_per_sample;
    bool ignore_errors; // always false
    bool error_occurred;
    u32 max_blocksize; // the largest block the stream information announces
};

struct flacfileformat_t {
    DecoderClientData dcd;
    FLAC__StreamDecoder *decoder;
    u64 fileSize; // bytes
    pcmbuffer_t *pcm;
    u8 qualityChanged;
    u8 lqdecMono;
    s32 maxOutSize; // frames at the file's rate one request may ask for
};

// Opens a ".flac" file (its first bytes must be "fLaC") of one or two channels. Returns 0, or
// an error (also stored in lastError) with nothing left open.
decoder_error flac_Open(decoder_struct *d, const char *fileName);

// Carries out a pending seek and delivers up to *outSize frames; see the reader family. A
// refused seek returns DECODER_ERROR_OUTOFRANGE; a successful one clears an earlier error.
decoder_error flac_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Finishes and frees the stream decoder and the record.
decoder_error flac_Close(decoder_struct *d);

// Writes the first sample number of the last block decoded to *position; returns 0.
decoder_error flac_GetSampleOffset(decoder_struct *d, s32 *position);

// libFLAC's callbacks.
FLAC__StreamDecoderWriteStatus write_callback_(const FLAC__StreamDecoder *decoder, const FLAC__Frame *frame,
                                               const FLAC__int32 *const buffer[], void *client_data);
void metadata_callback_(const FLAC__StreamDecoder *decoder, const FLAC__StreamMetadata *metadata,
                        void *client_data);
void error_callback_(const FLAC__StreamDecoder *decoder, FLAC__StreamDecoderErrorStatus status,
                     void *client_data);

// Prints "FAILED, <message>" (or "FAILED") and the decoder's state to standard output.
void die_s_(const char *message, const FLAC__StreamDecoder *decoder);
