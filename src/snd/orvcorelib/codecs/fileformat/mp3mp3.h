// The MP3 stream reader: a bare stream of MPEG Layer III frames (an ID3v2 tag at its head is
// passed over) decoded frame by frame into a sample ring, with the length estimated from the
// bit rate, every frame's length recorded in the seek table, and seeks through that table.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/bitstream.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "codecs/fileformat/seektable.h"
#include "codecs/fileformat/streamreader.h"
#include "orvsys/orvint.h"

inline constexpr s32 kMp3InputBufferSize = 16384;

struct mp3fileformat_t {
    bitstream_t *bs;             // 16384 bytes of coded input
    pcmbuffer_t *pcm;            // decoded samples at 1/downSampleFactor of the file's rate
    s32 fileSize;                // bytes
    s32 numFrames;               // frames counted so far (the frame the next one gets)
    u32 firstFrameOffset;        // file offset of the first frame (after an ID3v2 tag)
    s8 isSeekable;               // unused
    seektable_struct *seekTable; // the song's seek table
    u8 qualityChanged;           // a quality change waits for the next decode
    s32 downSampleFactor;        // 1, 2 or 4, handed to the frame decoder
    s32 maxOutSize;              // frames at the file's rate one request can need
    orv::stream::Cursor cursor;  // where the input buffer lies in the file
    decoder_error frameError;    // DECODER_ERROR_CORRUPT while the last frame did not fit the file
};

// Opens an MP3 stream: finds its first Layer III frame, fills the decoder's fields and starts
// the seek table from seekFileName (null allowed). Returns 0, or an error (also stored in
// lastError) with nothing left open.
decoder_error mp3mp3_Open(decoder_struct *d, const char *fileName, const char *seekFileName);

// Carries out a pending seek (DECODER_ERROR_OUTOFRANGE when the table cannot reach it) and
// delivers up to *outSize frames at the file's rate divided by the down-sample factor. In
// build-seek-table mode it scans one frame per call and delivers nothing.
decoder_error mp3mp3_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Releases the input buffer, the ring, the seek table (written in build-seek-table mode), the
// frame decoder and the file.
decoder_error mp3mp3_Close(decoder_struct *d);

// Writes frames counted × audioFrameSize to *position; returns 0.
decoder_error mp3mp3_GetSampleOffset(decoder_struct *d, s32 *position);

// Takes FULL, and HALF or QUATER for stereo streams, for the next decode; refuses MONO and the
// reduced rates of a mono stream with DECODER_ERROR_NOTSUPPORTED.
decoder_error mp3mp3_SetQuality(decoder_struct *d, decoder_quality quality);

// Replaces the seek table with the one in seektableFileName; 0 when the song is then seekable,
// else DECODER_ERROR_SEEKTABLE_LOAD_FAILED. The result is stored in lastError.
decoder_error mp3mp3_loadSeektableFile(decoder_struct *d, const char *seektableFileName);
