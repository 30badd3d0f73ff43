// The seek table of a coded stream whose frames vary in byte length: the byte length of every
// frame, in blocks of six, so that a frame's file offset is found with a short walk. Frames are
// counted from 0. The table is built while a stream is decoded, stored per song in its
// seek-table file and read back when the song is opened again.
//
// Seek-table file (little-endian, no padding): magic 0x02000500, firstFrameOffset,
// numAudioFrames, audioFrameSize, isCompressed (0), isPartial, then every trunk whole: 128
// blocks of (u32 firstFrameOffset, six u16 lengths), s32 blockIndex and 4 ignored bytes.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/bitstream.h"
#include "codecs/fileformat/pcmbuffer.h"
#include "orvsys/orvint.h"

#include <cstdio>

inline constexpr u32 kSeektableMagic = 0x02000500;
inline constexpr int kSeektableBlockFrames = 6;
inline constexpr int kSeektableTrunkBlocks = 128;
inline constexpr int kSeektableTrunkFrames = kSeektableBlockFrames * kSeektableTrunkBlocks; // 768
inline constexpr size_t kSeektableHeaderBytes = 24;
inline constexpr size_t kSeektableBlockBytes = 16;
inline constexpr size_t kSeektableTrunkBytes = kSeektableTrunkBlocks * kSeektableBlockBytes + 8; // 2056

enum seektable_mode : int {
    SEEKTABLE_MODE_IGNORE = 0,
    SEEKTABLE_MODE_OVERWRITE = 1,
    SEEKTABLE_MODE_APPEND = 2,
};

struct seektable_block {
    u32 firstFrameOffset; // file offset of the block's first frame
    u16 element[kSeektableBlockFrames];
};

struct seektable_trunk {
    seektable_block blockArray[kSeektableTrunkBlocks];
    s32 blockIndex; // blocks filled
    seektable_trunk *nextTrunk;
};

struct seektable_struct {
    seektable_block workingBlock; // the block being filled
    s32 elementIndex;             // frames in the working block (0 to 5)
    s32 firstFrameOffset;         // file offset of the first frame; -1 until known
    u32 numAudioFrames;           // frames recorded
    s32 audioFrameSize;           // interleaved samples per frame
    s32 currentPlayPosition;      // the frame the reader decodes next
    s32 currentAnalysisPosition;  // the next frame not yet recorded
    s32 isCompressed;             // always 0
    seektable_trunk *trunkArray;  // the first trunk; trunks follow in file order
    seektable_mode mode;          // recorded only
    u32 isPartial;                // 1 while the table may still grow
    s32 toBuild;                  // 1 when new frames may be recorded
};

// Returns an empty table for frames of audioFrameSize interleaved samples (first frame offset
// not yet known, recording on), or null for a frame size below 1 or no memory.
seektable_struct *seektable_create(seektable_mode mode, s32 audioFrameSize);

// Frees the trunks and the table (null allowed).
void seektable_destroy(seektable_struct *table);

// Starts recording at the first frame's file offset: no frames, positions at frame 0.
void seektable_setFirstFrameOffset(seektable_struct *table, s32 offset);

// Marks the table complete.
void seektable_finalize(seektable_struct *table);

// Appends a trunk: zeroed, or a copy of trunkToCopy with its link cleared. Returns it, or null
// when memory runs out (the table is then unchanged).
seektable_trunk *addTrunk(seektable_struct *table, const seektable_trunk *trunkToCopy);

// Records the frame just decoded, given the bytes the reader advanced since the previous
// counted frame (skipped bytes included, 0 to 65535), or passes over a frame already recorded.
// Returns -1 before the first frame offset is set or for a length that does not fit, 0 when the
// table does not record, 1 otherwise. A length that does not fit, or memory running out, ends
// recording (toBuild 0) so that no later frame is recorded at a wrong offset.
s32 seektable_addElement(seektable_struct *table, s32 frameLength);

// Records count frame lengths in order; returns the last seektable_addElement result (1 for 0).
s32 seektable_addElements(seektable_struct *table, const s16 *lengths, s32 count);

// Looks up a position in interleaved samples. *framesToSkip gives the wanted run-in and returns
// the frames to decode and discard before the target; *samplePosition returns the samples to
// drop after them. Returns the file offset to restart at, or -1 when the start frame is not in a
// stored block (the table is then unchanged).
s32 seektable_getFilePosition(seektable_struct *table, s32 *samplePosition, s32 *framesToSkip);

// Reads a seek-table file from its start. Returns null when the magic, the header, the frame
// size (0, or other than audioFrameSize) or any trunk is damaged, so that such a file counts as
// no table; or when memory runs out.
seektable_struct *seektable_createFromFile(seektable_mode mode, FILE *file, s32 audioFrameSize);

// Writes the header words and every trunk; returns 0, or -1 when a write falls short.
s32 seektable_writeToFile(const seektable_struct *table, FILE *file, s32 isCompressed);

// Builds a table from a list of frame lengths and writes it (as partial); returns 0 or -1.
s32 seektable_buildAndWriteToFile(u32 firstFrameOffset, const s16 *lengths, u32 count, s32 audioFrameSize,
                                  FILE *file, s32 isCompressed);

// Needs: the decoder's rate, channels, frame size and rebuild flag set by the stream reader's
// open. Loads the song's seek-table file, or starts an empty table (seek status not seekable)
// when there is none, it is damaged or the rebuild flag is set; with the rebuild flag the named
// file is created empty and kept open in d->seekFile. Returns the table, or null without memory.
seektable_struct *initializeSeektable(decoder_struct *d, const char *seekFileName, s32 firstFrameOffset);

// Marks the table complete, writes it to d->seekFile in build-seek-table mode, frees it and
// closes the seek-table file. Returns null.
seektable_struct *finalizeSeektable(decoder_struct *d, seektable_struct *table);

// Carries out a pending seek: *framesToSkip gives the wanted run-in. Positions d->inFile at the
// frame to restart at, empties bs, and empties pcm so that it drops the samples before the
// target. Returns 0 (also when there is no table or no pending seek: *framesToSkip 0), or
// DECODER_ERROR_OUTOFRANGE with the reader left where it was.
decoder_error seekUsingSeektable(decoder_struct *d, seektable_struct *table, s32 *seekAudioOffset,
                                 bitstream_t *bs, pcmbuffer_t *pcm, s32 *framesToSkip);
