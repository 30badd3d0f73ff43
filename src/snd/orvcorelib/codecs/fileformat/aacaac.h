// The ADTS/ADIF AAC stream reader: a stream of ADTS frames (an ID3v2 tag at its head is passed
// over), or an ADIF file, decoded frame by frame into a sample ring, with the length estimated
// from the bit rate, every ADTS frame's length recorded in the seek table, and seeks through
// that table. An ADIF stream plays from its start only.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/bitstream.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "codecs/fileformat/seektable.h"
#include "codecs/fileformat/streamreader.h"
#include "orvsys/orvint.h"

inline constexpr s32 kAacInputBufferSize = 12288;

struct aacfileformat_t {
    bitstream_t *bs;             // 12288 bytes of coded input
    pcmbuffer_t *pcm;            // decoded samples
    s32 fileSize;                // bytes
    s32 numFrames;               // frames counted so far (the frame the next one gets)
    u32 firstFrameOffset;        // file offset of the first frame (after an ID3v2 tag)
    s8 isSeekable;               // unused
    seektable_struct *seekTable; // the song's seek table; null for ADIF
    u8 qualityChanged;           // a quality change waits for the next decode
    u8 lqdecMono;                // decode the first channel only (forceMono)
    s32 maxOutSize;              // frames at the file's rate one request can need
    orv::stream::Cursor cursor;  // where the input buffer lies in the file
    bool adif;                   // the stream is ADIF: raw blocks without sync words
};

// Opens an ADTS or ADIF stream: finds its first frame, fills the decoder's fields and starts
// the seek table from seekFileName (null allowed; ADTS only). Returns 0, or an error (also
// stored in lastError) with nothing left open.
decoder_error aacaac_Open(decoder_struct *d, const char *fileName, const char *seekFileName);

// Carries out a pending seek (DECODER_ERROR_OUTOFRANGE when the table cannot reach it) and
// delivers up to *outSize frames. Damaged frames are passed over (lastError becomes
// DECODER_ERROR_CORRUPT); a frame of another channel count or rate ends the call early. In
// build-seek-table mode it scans one frame per call and delivers nothing.
decoder_error aacaac_Decode(decoder_struct *d, audio16 *out, s32 *outSize);

// Releases the input buffer, the ring, the seek table (written in build-seek-table mode), the
// frame decoder and the file.
decoder_error aacaac_Close(decoder_struct *d);

// Writes frames counted × audioFrameSize to *position; returns 0.
decoder_error aacaac_GetSampleOffset(decoder_struct *d, s32 *position);

// Takes FULL or MONO for the next decode; refuses HALF and QUATER with
// DECODER_ERROR_NOTSUPPORTED.
decoder_error aacaac_SetQuality(decoder_struct *d, decoder_quality quality);

// Replaces the seek table with the one in seektableFileName; 0 when the song is then seekable,
// else DECODER_ERROR_SEEKTABLE_LOAD_FAILED. The result is stored in lastError.
decoder_error aacaac_loadSeektableFile(decoder_struct *d, const char *seektableFileName);
