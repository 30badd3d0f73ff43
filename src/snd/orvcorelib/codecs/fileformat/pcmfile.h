// What the WAV and AIFF readers share: the read buffer's size, the validity checks on a
// format before any arithmetic uses it, and the decode step over a run of interleaved samples
// that starts at a known file offset and ends at a known length.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/pcmconvert.h"
#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>

namespace orv::pcmfile {

inline constexpr u32 kMaxSampleRate = 192000;

// The format of a run of stored samples, as a reader found it in the file's header.
struct Format {
    u32 channels;
    u32 sampleRate;
    u32 bitsPerSample;
};

// Returns 0 for 1 or 2 channels at 1..192000 Hz with 8, 16 or 24 bits, else the error that
// names what is refused.
decoder_error check(const Format &f);

// Needs: a checked format. Bytes of one interleaved frame.
inline u32 bytesPerFrame(const Format &f) {
    return f.channels * (f.bitsPerSample / 8);
}

// Frames the read buffer holds: the largest request that reaches a reader at the file's rate,
// with room for the rate converter's run-in after a seek when the rates differ.
s32 bufferFrames(const decoder_struct *d, u32 sampleRate);

// Fills the decoder fields every PCM reader sets at open: channels, rate, bit rate, the exact
// durations (computed in 64 bits), native seeking and no pending seek.
void describe(decoder_struct *d, const Format &f, u64 frames, s64 bitRate);

// Needs: a container (wav_container or aif_container) whose fields describe an open run of
// samples. Carries out a pending seek, then delivers up to *outSize frames into out and sets
// *outSize to the frames delivered. Ends at the run's last frame with DECODER_ERROR_ENDOFFILE;
// eofLine says whether that end is told through the debug printer.
template <typename Container>
decoder_error decode(decoder_struct *d, Container &c, audio16 *out, s32 *outSize, bool eofLine);

} // namespace orv::pcmfile
