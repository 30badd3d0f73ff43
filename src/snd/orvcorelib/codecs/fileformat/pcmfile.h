// What the WAV and AIFF readers share: the read buffer's size, the validity checks on a
// format before any arithmetic uses it, and the decode step over a run of interleaved samples
// that starts at a known file offset and ends at a known length.
#pragma once

#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmconvert.h"
#include "orvsys/orvint.h"

#include <cstddef>
#include <cstdio>
#include <new>

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

// The operations below take a container: wav_container or aif_container.

// Opens fileName, walks its chunks into *layout and makes the container with its file and the
// file's length. Returns 0, or the walk's error (or a read or memory error) with the file closed
// and no container.
template <typename Container, typename Layout>
decoder_error startOpen(const char *fileName, decoder_error (*walk)(FILE *, Layout *), Layout *layout,
                        Container **container) {
    FILE *f = fileCallback.open(fileName, "rb");
    if (f == nullptr) return DECODER_ERROR_OPENFILEFAILED;
    decoder_error e = walk(f, layout);
    const s64 length = e == DECODER_ERROR_NOERROR ? fileLength(f) : -1;
    if (e == DECODER_ERROR_NOERROR && length < 0) e = DECODER_ERROR_READERROR;
    auto *c = e == DECODER_ERROR_NOERROR ? new (std::nothrow) Container{} : nullptr;
    if (e == DECODER_ERROR_NOERROR && c == nullptr) e = DECODER_ERROR_OUTOFMEMORY;
    if (e != DECODER_ERROR_NOERROR) {
        fileCallback.close(f);
        return e;
    }
    c->fd = f;
    c->fileLength = static_cast<size_t>(length);
    *container = c;
    return DECODER_ERROR_NOERROR;
}

// Needs: the container's file and format fields set. Makes its read buffer and hands the
// container to the decoder, filling the fields every PCM reader sets. On failure the container
// and its file are released. Returns 0 or DECODER_ERROR_OUTOFMEMORY.
template <typename Container>
decoder_error finishOpen(decoder_struct *d, Container *c, s64 bitRate);

// Closes the container's file and frees its buffer and the container (null allowed).
template <typename Container>
void release(Container *c);

// The reader family's close: releases the decoder's container.
template <typename Container>
decoder_error close(decoder_struct *d);

// The reader family's position: the current frame.
template <typename Container>
decoder_error position(decoder_struct *d, s32 *frame);

// Needs: a container whose fields describe an open run of
// samples. Carries out a pending seek, then delivers up to *outSize frames into out and sets
// *outSize to the frames delivered. Ends at the run's last frame with DECODER_ERROR_ENDOFFILE;
// eofLine says whether that end is told through the debug printer.
template <typename Container>
decoder_error decode(decoder_struct *d, Container &c, audio16 *out, s32 *outSize, bool eofLine);

} // namespace orv::pcmfile
