// Analysis frames per second on 16-bit stereo PCM fed to songanalysis_process at the
// analysis rate of the build, for each quality (FFT size), with every feature on; and one
// whole three-minute song from open to finish.
#include "orvsys/orvconfig.h"
#include "songanalysis/songanalysis.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr u32 kFrame = orv::kAnalysisFrameSize;
constexpr double kRate = orv::kAnalysisSampleRate;

// A drum-like pattern at 120 BPM: a decaying low thump with a noisy attack on each beat,
// quieter noise on the off-beats.
std::vector<s16> makeSong(double seconds) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<s16> pcm(frames * 2);
    u32 noise = 1;
    for (size_t i = 0; i < frames; ++i) {
        const double t = i / kRate;
        const double sinceBeat = std::fmod(t, 0.5);
        const double sinceHalf = std::fmod(t, 0.25);
        noise = noise * 1664525u + 1013904223u;
        const double n = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
        const double v = 14000.0 * std::exp(-sinceBeat / 0.09) * std::sin(2.0 * M_PI * 60.0 * sinceBeat) +
                         8000.0 * std::exp(-sinceBeat / 0.004) * n + 2500.0 * std::exp(-sinceHalf / 0.02) * n;
        const s16 s = static_cast<s16>(std::clamp(std::lround(v), -32768L, 32767L));
        pcm[2 * i] = s;
        pcm[2 * i + 1] = s;
    }
    return pcm;
}

const std::vector<s16> &song() {
    static const std::vector<s16> pcm = makeSong(300.0);
    return pcm;
}

u32 songFrames() {
    return static_cast<u32>(song().size() / 2 / kFrame);
}

void openSong(songanalysis_struct *sa) {
    songanalysis_open(sa, SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 300000, 2, 0.0f,
                      SONGANALYSIS_GENRE_DEFAULT, nullptr);
}

// One analysis frame per iteration, through a five-minute song again and again.
void BM_AnalysisFrame(benchmark::State &state) {
    const auto quality = static_cast<songanalysis_quality>(state.range(0));
    songanalysis_struct *sa =
        songanalysis_new(quality, SONGANALYSIS_MODE_OFFLINE, SONGANALYSIS_FEATURE_ALL, 0, 0);
    openSong(sa);
    const s16 *pcm = song().data();
    u32 frame = 0;
    for (auto _ : state) {
        if (frame == songFrames()) {
            state.PauseTiming();
            songanalysis_close(sa);
            openSong(sa);
            frame = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(songanalysis_process(sa, pcm + size_t{frame} * kFrame * 2, kFrame));
        ++frame;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["realtime_x"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kFrame / kRate, benchmark::Counter::kIsRate);
    songanalysis_close(sa);
    songanalysis_destroy(sa);
}
BENCHMARK(BM_AnalysisFrame)
    ->Arg(SONGANALYSIS_QUALITY_LOW)
    ->Arg(SONGANALYSIS_QUALITY_MID)
    ->Arg(SONGANALYSIS_QUALITY_HIGH);

// A three-minute song from open to the finish; items are its frames.
void BM_WholeSong(benchmark::State &state) {
    const u32 frames = static_cast<u32>(180.0 * kRate / kFrame);
    const s16 *pcm = song().data();
    for (auto _ : state) {
        songanalysis_struct *sa = songanalysis_new(SONGANALYSIS_QUALITY_MID, SONGANALYSIS_MODE_OFFLINE,
                                                   SONGANALYSIS_FEATURE_ALL, 0, 0);
        songanalysis_open(sa, SONGANALYSIS_FEATURE_ALL, orv::kAnalysisSampleRate, 180000, 2, 0.0f,
                          SONGANALYSIS_GENRE_DEFAULT, nullptr);
        for (u32 f = 0; f < frames; ++f) songanalysis_process(sa, pcm + size_t{f} * kFrame * 2, kFrame);
        songanalysis_finalize(sa, nullptr, 0, false);
        benchmark::DoNotOptimize(sa->beatsPerMinute);
        songanalysis_close(sa);
        songanalysis_destroy(sa);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
}
BENCHMARK(BM_WholeSong)->Unit(benchmark::kMillisecond);

} // namespace
