// Shared pieces of the codec tests: running the reference tools (sox, flac), reading their raw
// output, building small files byte by byte, and decoding through the front end.
#pragma once

#include "codecs/decoder/decoder.h"
#include "support/tempdir.h"

#include <memory>
#include <string>
#include <vector>

namespace codectest {

// Runs a program found on PATH with its output discarded; returns its exit status (-1 when it
// could not be started or did not exit normally).
int runTool(const std::vector<std::string> &argv);

// Runs sox with the given arguments (repeatable dither and noise: -R -D); fails the test when
// sox fails.
void sox(const std::vector<std::string> &args);

// Encodes a WAV/AIFF file with flac; fails the test when flac fails.
void flacEncode(const std::string &in, const std::string &out, const std::vector<std::string> &extra = {});

// sox's decoding of a file as 32-bit samples, interleaved.
std::vector<s32> soxReference(const std::string &file);

// flac's own decoding of a FLAC file as samples of the file's width, interleaved.
std::vector<s32> flacReference(const std::string &file, int bits);

// 32-bit reference samples as the decoder's 16-bit samples: the two high bytes.
std::vector<audio16> highBytes(const std::vector<s32> &samples);

// Samples of `bits` bits as 16-bit samples: wider ones keep their high bits, narrower ones
// are scaled up.
std::vector<audio16> scaledTo16(const std::vector<s32> &samples, int bits);

struct DecoderDeleter {
    void operator()(decoder_struct *d) const { decoder_destroy(d); }
};
using Decoder = std::unique_ptr<decoder_struct, DecoderDeleter>;

Decoder makeDecoder(s32 outputRate, bool forceStereo, u32 maxFrames = kDecoderMaxFrameSize);

// Writes bytes to a file of the given name in dir and opens it (decode mode, low converter
// quality) with native channels; the open must succeed.
Decoder openBytes(const orvtest::TempDir &dir, const std::string &name,
                  const std::vector<unsigned char> &bytes, u32 maxFrames = kDecoderMaxFrameSize,
                  s32 outputRate = 44100);

// Runs one reader's open on bytes written to path; returns its result, and whether the reader
// kept a record (it is closed again) in *heldRecord.
decoder_error tryReader(decoder_error (*open)(decoder_struct *, const char *),
                        decoder_error (*close)(decoder_struct *), const std::string &path,
                        const std::vector<unsigned char> &bytes, bool *heldRecord);

// What a run of reads delivered.
struct Decoded {
    std::vector<audio16> samples;
    decoder_error last = DECODER_ERROR_NOERROR; // the result that ended the run
    int shortReads = 0;                         // reads that delivered some frames, fewer than asked
};

// Reads `frames` frames (all, up to the end, when negative) in requests of `block` frames.
Decoded readFrames(decoder_struct *d, long long frames, s32 block);

// The channels of the decoder's output.
int outputChannels(const decoder_struct *d);

using Chunks = std::vector<unsigned char>;

// Chunks one after the other.
Chunks operator+(Chunks a, const Chunks &b);

// Little-endian and big-endian byte builders for hand-made files.
struct Bytes {
    std::vector<unsigned char> data;
    Bytes &text(const char *s);
    Bytes &le16(u32 v);
    Bytes &le32(u32 v);
    Bytes &be16(u32 v);
    Bytes &be32(u32 v);
    Bytes &raw(const std::vector<unsigned char> &b);
    Bytes &fill(size_t count, unsigned char value);
    size_t size() const { return data.size(); }
};

// A RIFF/WAVE file with the given chunks after the header; riffSize 0 means the true size.
std::vector<unsigned char> riffFile(const std::vector<unsigned char> &chunks, u32 riffSize = 0);

// The 16-byte "fmt " chunk (header included).
std::vector<unsigned char> fmtChunk(u16 tag, u16 channels, u32 rate, u16 bits);

// A chunk with an id, a size word and a body (size words other than the body's are allowed).
std::vector<unsigned char> chunk(const char *id, const std::vector<unsigned char> &body,
                                 long long sizeWord = -1);

// The byte-reversed ("MROF") form of a standard AIFF file made of FORM, COMM and SSND chunks
// (and others passed through reversed as whole chunks): every number and identifier reversed.
std::vector<unsigned char> reverseAiff(const std::vector<unsigned char> &aiff);

// Interleaved 16-bit samples of a plain 44-byte-header WAV file written by the WAV writer.
std::vector<audio16> wavSamples(const std::string &file);

} // namespace codectest
