// The deck's motion path: one 256-frame stereo read of the two-stage resampler per period at
// the rates a deck plays (µs per read), and one turntable step (ns per step).
#include "resampler/resampler.h"
#include "turntable/turntable.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr u32 kBufferFrames = 32768;
constexpr s32 kPeriod = 256;

// Reads like a deck: place the position, set the rate, read 256 frames; the position then
// moves on by the rate.
void BM_TwoStageRead(benchmark::State &state) {
    const s32 rate = static_cast<s32>(state.range(0));
    std::vector<audio16> buffer(2 * kBufferFrames);
    u32 seed = 1;
    for (audio16 &s : buffer) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<audio16>(seed >> 16);
    }
    resampler_struct *r = resampler_new(2, FIRSINCTAB2, 1, 4, 8, 0);
    resampler_setBuffer(r, 0, 0, buffer.data(), kBufferFrames);
    std::vector<audio16> out(2 * kPeriod);
    const s64 span = s64{kBufferFrames} << 14;
    s64 position = s64{kBufferFrames / 2} << 14;
    for (auto _ : state) {
        resampler_setRateInp(r, rate);
        resampler_setFractionalOffsetInp(r, static_cast<u32>(position));
        benchmark::DoNotOptimize(resampler_readInp(r, out.data(), kPeriod));
        benchmark::ClobberMemory();
        position = ((position + s64{rate} * kPeriod) % span + span) % span;
    }
    resampler_destroy(r);
}
// Rates 0.5, 1.0, 1.06, 2.0, -1.0 and 8.0 in Q14.
BENCHMARK(BM_TwoStageRead)
    ->ArgName("rateQ14")
    ->Arg(0x2000)
    ->Arg(0x4000)
    ->Arg(0x43D7)
    ->Arg(0x8000)
    ->Arg(-0x4000)
    ->Arg(0x20000)
    ->Unit(benchmark::kMicrosecond);

// One step of a playing platter; with the argument 1 a finger scratches back and forth.
void BM_TurntableProcess(benchmark::State &state) {
    const bool scratching = state.range(0) != 0;
    turntable_init(256.0f / 44100.0f);
    turntable *tt = turntable_new();
    frac_t target = 0x100000, radius = 62914, angle = 0, force = 0, out = 0;
    turntable_setPtrs(tt, &target, &radius, &angle, &force, &out);
    turntable_set_parameter(tt, TT_PARAM_RELEASE_TIME, 0x100000 / 10);
    turntable_event_start(tt);
    for (int i = 0; i < 500; ++i) turntable_process(tt);
    s32 step = 0;
    for (auto _ : state) {
        if (scratching) {
            force = (step & 64) ? 0x100000 : 0;
            angle = ((step & 127) - 64) * 20000;
            ++step;
        }
        turntable_process(tt);
        benchmark::DoNotOptimize(out);
    }
    turntable_destroy(tt);
}
BENCHMARK(BM_TurntableProcess)->ArgName("scratch")->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

} // namespace
