// A resampler reading a caller-owned buffer, the kernels to run every behaviour against, and
// signal helpers (test signals, sine fitting).
#pragma once

#include "resampler/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace orvtest {

struct Kernel {
    resampler_method method;
    u32 channels;
    const char *name;
    // Output frame k at rate q from a whole-frame position p interpolates input frame
    // p + q * (k + advance) - lag: the kernels advance before each frame, except the
    // two-stage one, and the table FIR's interpolation point lies one frame behind.
    int advance;
    int lag;
};

// Test names and failure messages show the kernel's name.
inline void PrintTo(const Kernel &k, std::ostream *os) {
    *os << k.name;
}

inline constexpr u32 kWinHalfLen = 8;

inline const std::vector<Kernel> &allKernels() {
    static const std::vector<Kernel> kernels = {
        {NEAREST, 1, "nearest/1", 1, 0},         {NEAREST, 2, "nearest/2", 1, 0},
        {LINEAR, 1, "linear/1", 1, 0},           {LINEAR, 2, "linear/2", 1, 0},
        {THREEPT, 1, "threept/1", 1, 0},         {THREEPT, 2, "threept/2", 1, 0},
        {FIRSINCTAB, 1, "firsinctab/1", 1, 1},   {FIRSINCTAB, 2, "firsinctab/2", 1, 1},
        {FIRSINCWIN, 1, "firsincwin/1", 1, 0},   {FIRSINCWIN, 2, "firsincwin/2", 1, 0},
        {FIRSINCTAB2, 1, "firsinctab2/1", 1, 1}, {FIRSINCTAB2, 2, "firsinctab2/2", 0, 0},
    };
    return kernels;
}

inline std::string kernelName(const testing::TestParamInfo<Kernel> &info) {
    std::string name = info.param.name;
    for (char &c : name)
        if (c == '/') c = '_';
    return name;
}

// Owns a resampler and the buffer it reads.
class Reader {
  public:
    Reader(const Kernel &k, u32 frames)
        : channels(k.channels), buffer(static_cast<size_t>(frames) * k.channels) {
        r = resampler_new(k.channels, k.method, 1, 4, kWinHalfLen, 0);
        EXPECT_NE(r, nullptr);
        EXPECT_EQ(resampler_setBuffer(r, 0, 0, buffer.data(), frames), 0);
    }
    ~Reader() { resampler_destroy(r); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // Writes a signal: value(frame, channel) for every frame of the buffer.
    template <typename F>
    void fill(F value) {
        const u32 frames = static_cast<u32>(buffer.size() / channels);
        std::vector<audio16> block(buffer.size());
        for (u32 i = 0; i < frames; ++i)
            for (u32 c = 0; c < channels; ++c) block[i * channels + c] = value(i, c);
        resampler_write(r, block.data(), frames);
    }
    // Places the reader at position (Q14) with rate (Q14) and reads n frames.
    std::vector<audio16> read(u32 position, s32 rate, s32 n, s32 *produced = nullptr) {
        EXPECT_EQ(resampler_setFractionalOffsetInp(r, position), 0);
        EXPECT_EQ(resampler_setRateInp(r, rate), 0);
        std::vector<audio16> out(static_cast<size_t>(n) * channels, 0x5555);
        const s32 m = resampler_readInp(r, out.data(), n);
        if (produced) *produced = m;
        return out;
    }
    audio16 at(s64 frame, u32 c) const {
        const s64 frames = static_cast<s64>(buffer.size() / channels);
        const s64 i = ((frame % frames) + frames) % frames;
        return buffer[static_cast<size_t>(i) * channels + c];
    }

    u32 channels;
    std::vector<audio16> buffer;
    resampler_struct *r = nullptr;
};

// A deterministic noise-like signal with distinct values per frame and channel.
inline audio16 noise(u32 frame, u32 channel) {
    u32 x = frame * 2654435761u + channel * 40503u + 12345u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<audio16>(static_cast<s32>(x & 0xFFFF) - 32768);
}

inline audio16 sine(double cyclesPerFrame, double amplitude, u32 frame) {
    return static_cast<audio16>(std::lround(amplitude * std::sin(2 * M_PI * cyclesPerFrame * frame)));
}

// Least-squares fit of a sinusoid of the given frequency (plus offset) to one channel of
// frames; returns {amplitude, residual RMS}.
struct SineFit {
    double amplitude;
    double residual;
};
inline SineFit fitSine(const std::vector<audio16> &frames, u32 channels, u32 c, double cyclesPerFrame,
                       size_t from, size_t to) {
    // Normal equations for y = a sin + b cos + d.
    double m[3][4] = {};
    for (size_t k = from; k < to; ++k) {
        const double s = std::sin(2 * M_PI * cyclesPerFrame * static_cast<double>(k));
        const double co = std::cos(2 * M_PI * cyclesPerFrame * static_cast<double>(k));
        const double basis[3] = {s, co, 1.0};
        const double y = frames[k * channels + c];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] += basis[i] * basis[j];
            m[i][3] += basis[i] * y;
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            const double f = m[j][i] / m[i][i];
            for (int k = i; k < 4; ++k) m[j][k] -= f * m[i][k];
        }
    }
    double x[3];
    for (int i = 2; i >= 0; --i) {
        double v = m[i][3];
        for (int j = i + 1; j < 3; ++j) v -= m[i][j] * x[j];
        x[i] = v / m[i][i];
    }
    double err = 0;
    for (size_t k = from; k < to; ++k) {
        const double s = std::sin(2 * M_PI * cyclesPerFrame * static_cast<double>(k));
        const double co = std::cos(2 * M_PI * cyclesPerFrame * static_cast<double>(k));
        const double d = frames[k * channels + c] - (x[0] * s + x[1] * co + x[2]);
        err += d * d;
    }
    return {std::hypot(x[0], x[1]), std::sqrt(err / static_cast<double>(to - from))};
}

} // namespace orvtest
