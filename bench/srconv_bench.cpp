// Output frames per second of the sample-rate converter, stereo, fed the way the decoder
// front end feeds it: ask for 2048 outputs, hand over the input frames they need.
#include "srconv/srconv.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr u32 kBlock = 2048;
constexpr u32 kChannels = 2;

void BM_Srconv(benchmark::State &state, u32 inRate, u32 outRate, srconv_quality quality) {
    srconv_struct *s = srconv_new(inRate, outRate, kChannels, kBlock, quality);
    if (s == nullptr) {
        state.SkipWithError("srconv_new failed");
        return;
    }
    // One second of noise, reused round and round.
    std::mt19937 rng(1);
    std::vector<audio16> input(size_t{inRate} * kChannels);
    for (auto &v : input) v = static_cast<audio16>(rng() >> 16);
    std::vector<audio16> out(size_t{kBlock} * kChannels);
    size_t at = 0;
    u64 frames = 0;
    for (auto _ : state) {
        u32 inSize = srconv_getInSize(s, kBlock);
        if ((at + inSize) * kChannels > input.size()) at = 0;
        u32 outSize = kBlock;
        srconv_process(s, input.data() + at * kChannels, static_cast<s32>(inSize), out.data(), &outSize);
        benchmark::DoNotOptimize(out.data());
        at += inSize;
        frames += outSize;
    }
    state.counters["out_frames_per_s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    srconv_destroy(s);
}

BENCHMARK_CAPTURE(BM_Srconv, 48000_to_44100_low, 48000, 44100, SRCONV_QUALITY_LOW);
BENCHMARK_CAPTURE(BM_Srconv, 48000_to_44100_mid, 48000, 44100, SRCONV_QUALITY_MID);
BENCHMARK_CAPTURE(BM_Srconv, 48000_to_44100_high, 48000, 44100, SRCONV_QUALITY_HIGH);
BENCHMARK_CAPTURE(BM_Srconv, 96000_to_11025_low, 96000, 11025, SRCONV_QUALITY_LOW);
BENCHMARK_CAPTURE(BM_Srconv, 96000_to_11025_mid, 96000, 11025, SRCONV_QUALITY_MID);
BENCHMARK_CAPTURE(BM_Srconv, 96000_to_11025_high, 96000, 11025, SRCONV_QUALITY_HIGH);

} // namespace
