// Transforms per second (items_per_second) of the fixed-point real FFT and of one analysis
// step of the overlap-add frame, at the analysis sizes 256, 512 and 1024.
#include "fft/fftr1d.h"
#include "fft/fftr1dola.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

std::vector<audio_t> noise(u32 n) {
    std::mt19937 rng(n);
    std::uniform_int_distribution<int> dist(-16383, 16383);
    std::vector<audio_t> v(n);
    for (auto &x : v) x = static_cast<audio_t>(dist(rng));
    return v;
}

// Creation prints a line in the device configuration; keep it out of the report.
template <typename Make>
auto quietly(Make make) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(devNull, STDOUT_FILENO);
    auto made = make();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(devNull);
    close(saved);
    return made;
}

void BM_ForwardTransform(benchmark::State &state) {
    const u32 n = static_cast<u32>(state.range(0));
    fftr1d_struct *fft = quietly([n] { return fftr1d_new(n, 1); });
    const std::vector<audio_t> input = noise(n);
    std::vector<audio_t> x(n);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), x.begin());
        fftr1d_process(fft, x.data());
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations());
    fftr1d_free(fft);
}

void BM_InverseTransform(benchmark::State &state) {
    const u32 n = static_cast<u32>(state.range(0));
    fftr1d_struct *forward = quietly([n] { return fftr1d_new(n, 1); });
    fftr1d_struct *inverse = quietly([n] { return fftr1d_new(n, -1); });
    std::vector<audio_t> spectrum = noise(n);
    fftr1d_process(forward, spectrum.data());
    std::vector<audio_t> x(n);
    for (auto _ : state) {
        std::copy(spectrum.begin(), spectrum.end(), x.begin());
        fftr1d_process(inverse, x.data());
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations());
    fftr1d_free(forward);
    fftr1d_free(inverse);
}

// One analysis frame as the song analysis runs it: Hann window, hop of a whole frame.
void BM_AnalysisFrame(benchmark::State &state) {
    const u32 n = static_cast<u32>(state.range(0));
    fftr1dola_struct *frame = quietly([n] { return fftr1dola_new(n, FFTR1DOLA_WINDOWTYPE_HANN); });
    fftr1dola_setAnalysisHopSize(frame, n);
    const std::vector<audio_t> input = noise(n);
    std::vector<audio_t> fx(n);
    for (auto _ : state) {
        fftr1dola_analysis(frame, input.data(), fx.data());
        benchmark::DoNotOptimize(fx.data());
    }
    state.SetItemsProcessed(state.iterations());
    fftr1dola_free(frame);
}

BENCHMARK(BM_ForwardTransform)->Arg(256)->Arg(512)->Arg(1024);
BENCHMARK(BM_InverseTransform)->Arg(256)->Arg(512)->Arg(1024);
BENCHMARK(BM_AnalysisFrame)->Arg(256)->Arg(512)->Arg(1024);

} // namespace
