// Helpers of the sample-rate converter tests: the supported pairs with the set each must
// use, a converter owner, block-wise feeding, an independent reference of the output, and
// sine measurements.
#pragma once

#include "srconv/srconv.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace srconvtest {

struct Pair {
    u32 in;
    u32 out;
    const PolyphaseFir *set;
    const char *setName;
};

// Every supported pair of different rates and the filter set it shares by ratio.
inline const Pair kPairs[] = {
    {8000, 44100, POLYFIR8TO44, "8TO44"},    {11025, 44100, POLYFIR11TO44, "11TO44"},
    {16000, 44100, POLYFIR16TO44, "16TO44"}, {22050, 44100, POLYFIR22TO44, "22TO44"},
    {24000, 44100, POLYFIR24TO44, "24TO44"}, {32000, 44100, POLYFIR32TO44, "32TO44"},
    {48000, 44100, POLYFIR48TO44, "48TO44"}, {64000, 44100, POLYFIR64TO44, "64TO44"},
    {88200, 44100, POLYFIR88TO44, "88TO44"}, {96000, 44100, POLYFIR96TO44, "96TO44"},
    {8000, 22050, POLYFIR16TO44, "16TO44"},  {11025, 22050, POLYFIR22TO44, "22TO44"},
    {16000, 22050, POLYFIR32TO44, "32TO44"}, {24000, 22050, POLYFIR48TO44, "48TO44"},
    {32000, 22050, POLYFIR64TO44, "64TO44"}, {44100, 22050, POLYFIR88TO44, "88TO44"},
    {48000, 22050, POLYFIR96TO44, "96TO44"}, {88200, 22050, POLYFIR44TO11, "44TO11"},
    {96000, 22050, POLYFIR96TO22, "96TO22"}, {8000, 11025, POLYFIR32TO44, "32TO44"},
    {12000, 11025, POLYFIR48TO44, "48TO44"}, {16000, 11025, POLYFIR64TO44, "64TO44"},
    {22050, 11025, POLYFIR88TO44, "88TO44"}, {24000, 11025, POLYFIR96TO44, "96TO44"},
    {44100, 11025, POLYFIR44TO11, "44TO11"}, {48000, 11025, POLYFIR96TO22, "96TO22"},
    {96000, 11025, POLYFIR96TO11, "96TO11"},
};

inline constexpr srconv_quality kQualities[] = {SRCONV_QUALITY_LOW, SRCONV_QUALITY_MID, SRCONV_QUALITY_HIGH};

inline std::string describe(u32 in, u32 out, srconv_quality q) {
    return std::to_string(in) + "->" + std::to_string(out) + " quality " + std::to_string(int{q});
}

struct Destroy {
    void operator()(srconv_struct *s) const { srconv_destroy(s); }
};
using Converter = std::unique_ptr<srconv_struct, Destroy>;

inline Converter makeConverter(u32 in, u32 out, u32 channels, u32 maxBlock, srconv_quality q) {
    return Converter(srconv_new(in, out, channels, maxBlock, q));
}

inline u32 halfTapsOf(const PolyphaseFir &fir) {
    return (fir.numTaps - 1) >> 1;
}

// Feeds `in` (interleaved frames) in blocks whose sizes come from nextBlock(), asking each
// time for exactly the outputs the block allows, and returns every output sample.
template <typename NextBlock>
std::vector<audio16> convertAll(srconv_struct *s, std::span<const audio16> in, NextBlock nextBlock) {
    const u32 channels = s->numChannels;
    const size_t frames = in.size() / channels;
    std::vector<audio16> out;
    size_t done = 0;
    while (done < frames) {
        const u32 block = static_cast<u32>(std::min<size_t>(nextBlock(), frames - done));
        u32 outSize = srconv_getOutSize(s, static_cast<s32>(block));
        const size_t at = out.size();
        out.resize(at + size_t{outSize} * channels);
        if (srconv_process(s, in.data() + done * channels, static_cast<s32>(block), out.data() + at,
                           &outSize) != SRCONV_ERROR_NOERROR)
            return {};
        out.resize(at + size_t{outSize} * channels);
        done += block;
    }
    return out;
}

inline std::vector<audio16> convertInBlocksOf(srconv_struct *s, std::span<const audio16> in, u32 block) {
    return convertAll(s, in, [block] { return block; });
}

// Block sizes drawn from 0..maxInputBlockSize, zero-sized calls included.
inline std::vector<audio16> convertInRandomBlocks(srconv_struct *s, std::span<const audio16> in, u32 seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<u32> size(0, s->maxInputBlockSize);
    return convertAll(s, in, [&] { return size(rng); });
}

// Output frame k written from first principles, without ring or rebasing: the read
// position is k * step; the input is preceded by halfTaps + 1 zero frames; phase o =
// numPhases - floor(frac * numPhases) picks coef[o], coef[o + numPhases], ... for the frames
// from the read position minus halfTaps on.
inline audio16 referenceSample(const PolyphaseFir &fir, u32 step, std::span<const audio16> in, u32 channels,
                               u64 k, u32 channel) {
    const u64 pos = k * step;
    const s64 frame0 = static_cast<s64>(pos >> 12) - halfTapsOf(fir) - (halfTapsOf(fir) + 1);
    const u32 phase = fir.numPhases - static_cast<u32>(((pos & 0xFFF) * fir.numPhases) >> 12);
    const s64 frames = static_cast<s64>(in.size() / channels);
    s64 sum = 0;
    s64 frame = frame0;
    for (u32 index = phase; index < fir.numCoefs; index += fir.numPhases, ++frame) {
        if (frame >= 0 && frame < frames)
            sum += s64{fir.coef[index]} * in[size_t(frame) * channels + channel];
    }
    const s64 rounded = (sum + 0x4000) >> 15; // to the nearest, halves up
    return static_cast<audio16>(std::clamp<s64>(rounded, -32768, 32767));
}

// Number of outputs a converter gives for `frames` input frames: every read position
// whose frames are all written, k * step >> 12 <= frames.
inline u64 referenceCount(u32 step, u64 frames) {
    return ((frames + 1) * 4096 + step - 1) / step;
}

inline std::vector<audio16> referenceOutput(const PolyphaseFir &fir, u32 step, std::span<const audio16> in,
                                            u32 channels) {
    const u64 count = referenceCount(step, in.size() / channels);
    std::vector<audio16> out(count * channels);
    for (u64 k = 0; k < count; ++k)
        for (u32 c = 0; c < channels; ++c)
            out[k * channels + c] = referenceSample(fir, step, in, channels, k, c);
    return out;
}

inline std::vector<audio16> noise(size_t samples, u32 seed, int amplitude = 32767) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-amplitude - 1, amplitude);
    std::vector<audio16> v(samples);
    for (auto &x : v) x = static_cast<audio16>(value(rng));
    return v;
}

// A mono sine of `frames` samples, `cycles` per sample.
inline std::vector<audio16> sine(size_t frames, double cycles, double amplitude) {
    std::vector<audio16> v(frames);
    for (size_t n = 0; n < frames; ++n)
        v[n] = static_cast<audio16>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * cycles * double(n))));
    return v;
}

struct SineFit {
    double amplitude;  // of the component at the given frequency
    double residualDb; // power left after removing it, relative to its power
    size_t zeroCrossings;
};

// Least-squares fit of a sine of known frequency (cycles per sample) to x.
inline SineFit fitSine(std::span<const audio16> x, double cycles) {
    std::complex<double> acc = 0;
    for (size_t n = 0; n < x.size(); ++n)
        acc += double(x[n]) * std::polar(1.0, -2 * std::numbers::pi * cycles * double(n));
    const std::complex<double> c = acc * (2.0 / double(x.size()));
    double residual = 0;
    size_t crossings = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double model = std::real(c * std::polar(1.0, 2 * std::numbers::pi * cycles * double(n)));
        residual += (x[n] - model) * (x[n] - model);
        if (n > 0 && (x[n - 1] < 0) != (x[n] < 0)) ++crossings;
    }
    const double power = std::norm(c) / 2 * double(x.size());
    return {std::abs(c), 10 * std::log10(std::max(residual, 1e-9) / power), crossings};
}

inline double rms(std::span<const audio16> x) {
    double sum = 0;
    for (audio16 v : x) sum += double(v) * v;
    return std::sqrt(sum / double(std::max<size_t>(x.size(), 1)));
}

} // namespace srconvtest
