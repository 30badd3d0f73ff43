// Helpers of the stream-reader tests: fixtures made with sox, lame and ffmpeg and then dressed
// with tags and junk, the reference decoders' output (mpg123, faad, ffmpeg), ffprobe's frame
// count, decodetool runs, the aligned comparison of two decodes, and hand-made MP4 files.
#pragma once

#include "orvsys/orvint.h"

#include <string>
#include <vector>

namespace streamtest {

using Bytes = std::vector<unsigned char>;

// Runs argv (argv[0] found on PATH) with standard output written to outPath (discarded when
// empty) and standard error discarded. Returns the exit status, -1 when it could not run.
int run(const std::vector<std::string> &argv, const std::string &outPath = {});

// True when every named program is on PATH.
bool haveTools(const std::vector<std::string> &names);

// A file of the shared fixtures, made on first use in a folder that lives as long as the test
// program: "stereo44.mp3" (128 kbit/s), "mono22vbr.mp3", "stereo24.mp3" (MPEG-2),
// "stereo48.mp3", "stereo44.aac" and "mono22.aac" (ADTS), "stereo44.m4a", "mono22.m4a",
// "tagged.mp3" and "tagged.aac" (withTagsAndJunk of the stereo44 streams), "adif44.aac" (the
// stereo44 ADTS stream as ADIF). All are two seconds long.
std::string fixturePath(const std::string &name);

// A folder for scratch files of the test program.
std::string scratchDir();

// The decodetool of the configuration under test (from the environment).
std::string decodetool();

// A deterministic test signal: a sweep and a tone with a little noise, `seconds` long.
void makeSignal(const std::string &wavPath, int rate, int channels, double seconds);

// lame (no info tag, quiet) and ffmpeg's AAC encoder (no noise substitution, whose random
// state no seek can restore); extra arguments go before the output.
void lame(const std::string &wav, const std::string &mp3, const std::vector<std::string> &extra);
void ffmpegAac(const std::string &wav, const std::string &out, const std::string &bitRate,
               const std::vector<std::string> &extra = {});

// The frames of an MPEG audio stream as offset and length (free format not handled).
struct Frame {
    size_t offset;
    size_t length;
};
std::vector<Frame> mp3Frames(const Bytes &stream);
std::vector<Frame> adtsFrameSpans(const Bytes &stream);

// The stream behind a 4096-byte ID3v2 tag, with junk (bytes that never form a sync word)
// before every fifth frame and an ID3v1 tag after the last.
Bytes withTagsAndJunk(const Bytes &stream, const std::vector<Frame> &frames);

// Reference decodes as interleaved 16-bit samples: mpg123 without gapless trimming, faad,
// ffmpeg's own decoder.
std::vector<short> mpg123Decode(const std::string &path, const std::string &scratchDir);
std::vector<short> faadDecode(const std::string &path, const std::string &scratchDir);
std::vector<short> ffmpegDecode(const std::string &path, const std::string &scratchDir);

// The audio frames ffprobe counts in the file's first audio stream; -1 when it cannot tell.
long ffprobeFrames(const std::string &path, const std::string &scratchDir);

struct Match {
    long lag = 0;        // ours[(i + lag) * channels] lines up with ref[i * channels]
    double rms = 0;      // of the difference, in 16-bit steps
    int maxDiff = 0;     // largest difference
    size_t compared = 0; // samples compared
};

// Finds the lag (within +-maxLag frames) that lines the decodes up and measures the difference.
Match alignAndCompare(const std::vector<short> &ours, const std::vector<short> &ref, int channels,
                      long maxLag = 4096);

// The limits a decode must keep against its reference: RMS of the difference below 2^-11/sqrt(12)
// of full scale, no sample more than 8 steps off.
inline constexpr double kLimitedRms = 32768.0 / 2048.0 / 3.4641016151377544;
inline constexpr int kMaxDiff = 8;

// Big-endian building blocks of hand-made MP4 files.
Bytes be32(u32 v);
Bytes be16(u32 v);
Bytes cat(std::initializer_list<Bytes> parts);
Bytes text(const char *s);
Bytes atom(const char *type, const Bytes &body);
Bytes fullAtom(const char *type, u8 version, const Bytes &body);

// An AAC track as the MP4 builder lays it out.
struct Mp4Track {
    std::vector<Bytes> samples; // raw data blocks
    int channels = 2;
    int rate = 44100;
    u32 timeScale = 44100;
    u32 delta = 1024;  // of every sample in time-scale units
    u32 lastDelta = 0; // of the last sample when not 0
    std::string entry = "mp4a";
    Bytes decoderConfig;     // empty: AAC LC for rate and channels
    u32 samplesPerChunk = 5; // samples per chunk of the "stsc" run
    // "stsc" runs as (first chunk, samples per chunk); empty: one run of samplesPerChunk.
    std::vector<std::pair<u32, u32>> chunkRuns;
    bool commonSize = false;   // "stsz" with one size for all (that of the first sample)
    u32 compositionOffset = 0; // a "ctts" run over every sample when not 0
};

// The two-byte AudioSpecificConfig of AAC LC (object type 2) at a table rate.
Bytes audioSpecificConfig(int objectType, int rate, int channels);

// A file of "ftyp", "moov" (one "trak" per track) and "mdat" holding every sample; the tracks'
// chunks follow each other in the media data.
Bytes buildMp4(const std::vector<Mp4Track> &tracks);

// The offset of the first atom of the type (its size field), searching byte by byte from
// `from`; npos when there is none.
size_t findAtom(const Bytes &file, const char *type, size_t from = 0);
void putBe32(Bytes &b, size_t at, u32 v);

// The raw data blocks of an ADTS stream (headers removed).
std::vector<Bytes> rawBlocks(const Bytes &adts);

} // namespace streamtest
