// The command line of decodetool.
#pragma once

#include "codecs/decoder/decoder.h"

#include <optional>
#include <string>
#include <vector>

namespace decodetool {

struct Span {
    long long first; // frame (output rate) or millisecond; -1: no seek, read on
    long long count; // frames or milliseconds
};

struct Options {
    std::string input;
    std::string output; // empty: decode without writing
    s32 rate = 44100;
    src_quality quality = SRC_QUALITY_MID;
    bool forceStereo = true;
    u32 maxFrames = kDecoderMaxFrameSize;
    u32 block = 0; // frames asked per call; 0: maxFrames
    std::vector<Span> seeks;
    std::string seektable;
    bool buildSeektable = false;
    std::optional<decoder_quality> decoderQuality;
    bool info = false;
    std::optional<Span> convert;
};

// Parses argv; prints what is wrong and returns nothing for a bad command line.
std::optional<Options> parse(int argc, char **argv);

void printUsage();

} // namespace decodetool
