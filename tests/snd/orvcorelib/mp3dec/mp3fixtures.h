// Test helpers for the MP3 decoder: fixtures made with sox and lame in a temporary folder,
// mpg123's floating-point reference decode, our decode through the public calls, and the
// aligned comparison of the two.
#pragma once

#include "codecs/mp3dec/mp3dec.h"

#include <string>
#include <vector>

namespace mp3test {

// Runs a program (found on PATH) with its arguments, standard output to outPath when given.
// Returns its exit status, -1 when it could not run.
int run(const std::vector<std::string> &argv, const std::string &outPath = {});

// True when every named program is on PATH.
bool haveTools(const std::vector<std::string> &names);

// Source signal as sox synth arguments, e.g. {"2", "sine", "20-10000", "vol", "-20dB"}.
struct Fixture {
    const char *name;
    int rate;
    int channels;
    std::vector<std::string> synth;
    std::vector<std::string> lameArgs;
};

// Makes dir/name.wav with sox and dir/name.mp3 with lame (no info tag), the same bytes on
// every run; returns the MP3 path or an empty string on failure.
std::string makeMp3(const std::string &dir, const Fixture &fx);

// mpg123's decode of every frame (no gapless trimming) as interleaved floats, full scale 1.
std::vector<float> referenceDecode(const std::string &mp3Path, const std::string &dir);

struct Decoded {
    std::vector<short> pcm;
    MP3FrameInfo info{};
    int frames = 0;
    int errors = 0;
};

// Decodes a whole stream frame by frame the way a reader does: sync, check the header, decode.
// Mono streams always run at factor 1.
Decoded decodeStream(std::vector<unsigned char> bytes, int factor = 1);

struct Comparison {
    int lag = 0;         // samples per channel by which ours trails the reference
    double rmsLsb = 0;   // RMS difference in 16-bit LSB
    double maxLsb = 0;   // largest difference in 16-bit LSB
    size_t compared = 0; // samples compared
};

// Aligns ours to the reference within +-maxLag samples per channel and measures the error.
Comparison compare(const std::vector<short> &ours, const std::vector<float> &ref, int channels,
                   int maxLag = 64);

double rmsOf(const std::vector<short> &pcm);

} // namespace mp3test
