// What the MP3 and AAC stream readers share: where the bytes of their input buffer lie in the
// file, the counting of frames into the seek table, the start of a seek with its run-in, and
// the size of their sample rings.
//
// A frame's length in the seek table is the number of bytes the reader advanced since the
// previous counted frame, bytes skipped while searching for it included. A seek therefore
// restarts where the reader stood after the frame before its run-in and meets the same bytes
// a decode from the start met, so it counts the same frames.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/bitstream.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "codecs/fileformat/seektable.h"
#include "orvsys/orvint.h"

#include <cstdio>

namespace orv::stream {

struct Cursor {
    s64 filePos = 0;          // file offset just past the bytes read into the input buffer
    s64 lastFrameEnd = 0;     // file offset where the last counted frame ended
    bool fileDone = false;    // a read returned nothing: the file is used up
    bool streamEnded = false; // the rest of the file holds no frames
    s32 runInLeft = 0;        // frames after a seek still to decode and discard
};

// The file offset of the next unread byte of the input buffer.
s64 readPosition(const bitstream_t *bs, const Cursor &c);

// Refills the input buffer from the file once less than half of it is unread (see
// bitstream_read). Returns the bytes added; marks the file used up when a read returns nothing.
s32 refill(bitstream_t *bs, FILE *file, Cursor *c);

// Passes over n unread bytes (at most the bytes left).
void skip(bitstream_t *bs, s32 n);

// Needs: d->inFile open, table null or the reader's seek table. Carries out a pending seek:
// positions the file at the restart frame, empties the input buffer, and readies the ring to
// drop the samples before the target, counted at 1/factor of the file's rate. wantedRunIn gives
// the frames to decode and discard before the target; *firstFrame returns the index of the
// frame decoding restarts at. Returns 0 (also when nothing is pending, or without a table: the
// request is then dropped), or DECODER_ERROR_OUTOFRANGE with the reader where it was.
decoder_error startSeek(decoder_struct *d, seektable_struct *table, bitstream_t *bs, pcmbuffer_t *pcm,
                        Cursor *c, s32 wantedRunIn, s32 factor, s32 *firstFrame);

// Needs: a frame just consumed from bs. Hands the bytes advanced since the last counted frame to
// the seek table (null allowed) and makes the song backward seekable once a frame is recorded.
void countFrame(decoder_struct *d, seektable_struct *table, const bitstream_t *bs, Cursor *c);

// Needs: an open stream reader standing at frame currentFrame, *table its seek table. Loads the
// seek-table file: when it makes the song seekable it replaces *table (positioned at
// currentFrame) and the result is 0; otherwise the table and seek status in use stay and the
// result is DECODER_ERROR_SEEKTABLE_LOAD_FAILED. The named file is only ever read.
decoder_error loadSeektable(decoder_struct *d, seektable_struct **table, const char *fileName,
                            s32 firstFrameOffset, s32 currentFrame);

// Samples of the ring of a stream reader: whole frames of channels × frameLength samples,
// enough for maxOutSize frames plus two frames. 0 when the product does not fit a ring.
s32 ringSamples(s32 channels, s32 frameLength, s32 maxOutSize);

// Needs: a file open for reading. Returns its length clamped to what the reader's s32 size
// fields hold, or -1 when it cannot be measured.
s32 clampedFileLength(FILE *file);

} // namespace orv::stream
