// Cost of the biquad sections: ns per stereo frame per section for the kernels, at the block
// sizes of the deck equaliser (16) and the effects (128), and the cost of one coefficient update.
#include "biquad/biquad.h"
#include "eq/djequalizer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<audio24> noiseBlock(u32 frames) {
    std::mt19937 rng(1);
    std::uniform_int_distribution<s32> dist(-(1 << 23), (1 << 23) - 1);
    std::vector<audio24> v(2 * static_cast<std::size_t>(frames));
    for (auto &x : v) x = dist(rng);
    return v;
}

// Shown as the time of one stereo frame (e.g. "2.5ns").
void setTimePerFrame(benchmark::State &state, u32 frames) {
    state.counters["per_frame"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

// args: frames per block
template <biquad_topo Topo, biquad_type Type>
void BM_Section(benchmark::State &state) {
    const u32 frames = static_cast<u32>(state.range(0));
    biquad *b = biquad_new(frames, Topo, Type, 44100);
    biquad_setParam(b, BIQUAD_PARAM_FC, 1000.0f);
    biquad_setParam(b, BIQUAD_PARAM_GAIN, 6.0f);
    std::vector<audio24> block = noiseBlock(frames);
    for (auto _ : state) {
        biquad_process(b, block.data(), block.data());
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    setTimePerFrame(state, frames);
    biquad_destroy(b);
}

// One coefficient update: a section of no frames recomputes and filters nothing.
template <biquad_topo Topo, biquad_type Type>
void BM_CoefficientUpdate(benchmark::State &state) {
    biquad *b = biquad_new(0, Topo, Type, 44100);
    biquad_setParam(b, BIQUAD_PARAM_GAIN, 6.0f);
    audio24 unused[16] = {};
    float fc = 1000.0f;
    for (auto _ : state) {
        fc = fc == 1000.0f ? 1001.0f : 1000.0f;
        biquad_setParam(b, BIQUAD_PARAM_FC, fc);
        biquad_process(b, unused, unused);
        benchmark::DoNotOptimize(b->coef.df1.b0);
    }
    biquad_destroy(b);
}

void BM_Equaliser(benchmark::State &state) {
    constexpr u32 kFrames = 128;
    djequalizer *eq = djequalizer_new(kFrames, 44100);
    for (s32 band = 0; band < DJEQ_BAND_COUNT; ++band)
        djequalizer_setParam(eq, static_cast<djeq_band>(band), static_cast<s32>(state.range(0)));
    std::vector<audio24> block = noiseBlock(kFrames);
    for (auto _ : state) {
        djequalizer_process(eq, block.data(), block.data());
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    setTimePerFrame(state, kFrames);
    djequalizer_destroy(eq);
}

BENCHMARK(BM_Section<BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF1>)->Arg(16)->Arg(128);
BENCHMARK(BM_Section<BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2>)->Arg(16)->Arg(128);
BENCHMARK(BM_Section<BIQUAD_TOPO_NL, BIQUAD_TYPE_LPF2>)->Arg(128);
BENCHMARK(BM_Section<BIQUAD_TOPO_NL, BIQUAD_TYPE_PKF>)->Arg(128);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF1>);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2>);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_DF1, BIQUAD_TYPE_PKF>);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_DF1, BIQUAD_TYPE_HSF2>);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_DF1, BIQUAD_TYPE_LPF2R>);
BENCHMARK(BM_CoefficientUpdate<BIQUAD_TOPO_NL, BIQUAD_TYPE_LSF2>);
BENCHMARK(BM_Equaliser)->Arg(64)->Arg(100);

} // namespace
