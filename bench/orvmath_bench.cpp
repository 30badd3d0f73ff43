// ns per call of the Q15 functions the real-time code uses.
#include "orvmath/orvmath.h"

#include <benchmark/benchmark.h>

namespace {

// Walk the input through its range so that no branch is always predicted the same way.
template <typename Fn>
void runOverRange(benchmark::State &state, s32 from, s32 to, s32 step, Fn fn) {
    s32 x = from;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fn(x));
        x += step;
        if (x > to) x = from + (x - to) % step;
    }
}

void BM_SqrtFast(benchmark::State &state) {
    runOverRange(state, 1, 32767, 331, [](s32 x) { return orvmath_fix_sqrtFast(static_cast<s16>(x)); });
}
void BM_SinTo2Pi(benchmark::State &state) {
    runOverRange(state, 0, ORVMATH_2PI, 1031, [](s32 x) { return orvmath_fix_sinTo2Pi(x); });
}
void BM_Log2(benchmark::State &state) {
    runOverRange(state, 1, 32767, 331, [](s32 x) { return orvmath_fix_log2(static_cast<s16>(x)); });
}
void BM_SqrtUint32(benchmark::State &state) {
    u32 v = 12345;
    for (auto _ : state) {
        benchmark::DoNotOptimize(orvmath_sqrt_uint32(v));
        v = v * 1664525u + 1013904223u;
    }
}

BENCHMARK(BM_SqrtFast);
BENCHMARK(BM_SinTo2Pi);
BENCHMARK(BM_Log2);
BENCHMARK(BM_SqrtUint32);

} // namespace
