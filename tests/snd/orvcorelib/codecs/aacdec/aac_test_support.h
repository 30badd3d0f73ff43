// Helpers of the AAC decoder tests: running the reference tools, decoding whole streams
// through the public calls, aligning and comparing PCM, and rewriting ADTS as ADIF.
#pragma once

#include "codecs/aacdec/aacdec.h"

#include <string>
#include <vector>

namespace aactest {

// Runs argv[0] with the arguments (no shell); true when it exits with 0.
bool runTool(const std::vector<std::string> &argv);

// The path of a reference tool from the environment (ORV_FFMPEG, ORV_FAAD), or "".
std::string toolPath(const char *envName);

struct Decoded {
    std::vector<short> pcm; // interleaved
    int nChans = 0;
    int sampleRate = 0;
    int frames = 0;
    int errors = 0;
    int pnsFrames = 0;
    int tnsFrames = 0;
    int shortFrames = 0;     // frames with an eight-short window sequence
    int msFrames = 0;        // frames with an M/S mask
    int intensityFrames = 0; // frames with intensity bands
};

// Decodes a whole ADTS or ADIF stream frame by frame the way a reader does (skip a byte and
// search again after an error).
Decoded decodeStream(const std::vector<unsigned char> &stream, bool forceMono = false);

// Interleaved little-endian 16-bit samples of a raw file.
std::vector<short> readRawPcm(const std::string &path);

// Removes all but channel ch of interleaved audio.
std::vector<short> channel(const std::vector<short> &pcm, int nChans, int ch);

struct Comparison {
    long offset = 0; // ours[i + offset] matches ref[i]
    long count = 0;
    double rms = 0;
    int maxDiff = 0;
};

// Finds the frame-sized offset (per channel, up to two frames) that best aligns the two
// mono signals and measures the difference over their overlap.
Comparison compareAligned(const std::vector<short> &ours, const std::vector<short> &ref);

// Low-passes a signal (windowed sinc, cutoff in Hz) in double precision.
std::vector<double> lowPass(const std::vector<short> &x, int sampleRate, double cutoff);

// MSB-first bit writer for crafted streams.
class BitWriter {
  public:
    void put(unsigned value, int bits);
    void align();
    std::vector<unsigned char> &bytes() { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
    long bitCount_ = 0;
};

// The frames of an ADTS stream: offset and length of each.
struct AdtsFrame {
    size_t offset;
    size_t length;
    size_t headerLength;
};
std::vector<AdtsFrame> adtsFrames(const std::vector<unsigned char> &adts);

// Makes an ADTS fixture with ffmpeg (aevalsrc expressions, one per channel, 1 s); extra
// encoder options follow. Returns the stream, or empty when ffmpeg is missing or fails.
std::vector<unsigned char> makeFixture(const std::string &exprs, int rate,
                                       const std::vector<std::string> &options);

// Rewrites an ADTS stream (one raw data block per frame) as an ADIF file with one program
// config element; returns an empty vector when the stream cannot be converted.
std::vector<unsigned char> adtsToAdif(const std::vector<unsigned char> &adts);

} // namespace aactest
