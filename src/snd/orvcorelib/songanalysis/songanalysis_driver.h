// The pieces of the whole-file driver (songanalysis_processFile, songanalysis_editResultFile):
// how decoder failures are reported, how the options' anchors and beat edits reach a record,
// how decoded blocks are fed to the analysis, and the comment and summary of a save.
#pragma once

#include "codecs/decoder/decoder.h"
#include "songanalysis/songanalysis.h"

#include <array>
#include <functional>
#include <memory>

// Owns a record: closes it (when open) and destroys it.
struct songanalysis_recordCloser {
    void operator()(songanalysis_struct *sa) const {
        songanalysis_close(sa);
        songanalysis_destroy(sa);
    }
};
using songanalysis_ownedRecord = std::unique_ptr<songanalysis_struct, songanalysis_recordCloser>;

// The analysis error for a decoder that could not open the audio file. Corrupt data only
// counts as a corrupted file at the first open (the seek-table pass); afterwards it is a file
// error like any other.
songanalysis_error songanalysis_decoderOpenError(decoder_error e, bool firstOpen);

// The options' anchors as analysis frames, ascending. The list ends at its first negative
// entry and after 16 entries in any case. Returns the number of anchors in frames.
s32 songanalysis_anchorFrames(const songanalysis_options_struct &options, u32 sampleRate, u32 frameSize,
                              std::array<s32, 16> &frames);

// Adds the options' beatsToAdd and removes their beatsToRemove (each list ends at its first
// entry below 1, after 16 entries in any case). An edit the grid refuses (a full grid) is left
// out.
void songanalysis_applyBeatEdits(songanalysis_struct *sa, const songanalysis_options_struct &options);

// Reads up to *frames sample frames into out; sets *frames to the number delivered.
using songanalysis_blockReader = std::function<decoder_error(s16 *out, s32 *frames)>;
// Takes one whole block of blockFrames interleaved sample frames.
using songanalysis_blockSink = std::function<void(const s16 *block)>;

enum class songanalysis_feedEnd {
    endOfFile, // the reader reported the end of the file
    error,     // the reader reported another error
    quit,      // the quit flag read 1 after a block
    stalled,   // the reader delivered nothing and reported nothing
};

struct songanalysis_feedResult {
    songanalysis_feedEnd end;
    decoder_error lastError; // the reader's last result
    u32 blocks;              // blocks handed to the sink
};

// Reads blocks of blockFrames frames of `channels` samples and hands each to the sink until
// the reader reports an error (end of file included), delivers nothing without an error, or
// *quit reads 1 after a block. A short block is handed on with its missing frames silent; a
// read that delivers nothing is not handed on. quit may be null.
songanalysis_feedResult songanalysis_feedBlocks(const songanalysis_blockReader &read,
                                                const songanalysis_blockSink &sink, u32 blockFrames,
                                                u32 channels, const volatile int *quit);

inline constexpr u32 SONGANALYSIS_COMMENT_SIZE = 1024;

// The comment stored with a save: prefix, "time = " with the current UTC time as asctime
// writes it (newline included), the system name of this build (or the one given),
// " options =" and the command line (nothing for null). Always NUL-terminated; the rest of
// the buffer is zero.
void songanalysis_makeComment(std::array<char, SONGANALYSIS_COMMENT_SIZE> &comment, const char *prefix,
                              const char *os, const char *commandLine);

// The system name this build writes into its comments.
const char *songanalysis_commentOs();

// Prints the summary of a saved record (length, bit rate, tempo, comment).
void songanalysis_printSummary(const songanalysis_struct *sa, const char *comment);
