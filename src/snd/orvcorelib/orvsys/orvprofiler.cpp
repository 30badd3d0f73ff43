#include "orvsys/orvprofiler.h"

#include "orvsys/debugmsg.h"
#include "orvsys/orvclock.h"
#include "orvsys/orvprofiler_histogram.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

s32 clock_self_time = 0;

namespace {

constexpr s64 kNoMinimum = s64{1} << 62;
constexpr int kSelfTimePairs = 1000;

// Ticks to microseconds, bounded to the u32 the getters return.
u32 ticksToMicros(double ticks) {
    const double us = ticks * 1e6 / clock_getFreq();
    if (!(us > 0.0)) return 0;
    return us >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<u32>(us);
}

void countInHistogram(orvprofiler_struct *p, s64 d) {
    const orv::HistogramCell cell = orv::profilerHistogramCell(d);
    ++p->log_histogram[cell.row][cell.column];
}

void measureSelfTime(orvprofiler_struct *p) {
    s64 sum = 0;
    for (int i = 0; i < kSelfTimePairs; ++i) {
        orvprofiler_start(p);
        sum += orvprofiler_stop(p);
    }
    clock_self_time = static_cast<s32>(sum / kSelfTimePairs);
    debugmsg("self-time: %i\n", clock_self_time);
}

} // namespace

orvprofiler_struct *orvprofiler_new(const char *name) {
    auto *p = static_cast<orvprofiler_struct *>(std::calloc(1, sizeof(orvprofiler_struct)));
    if (p == nullptr) return nullptr;
    if (name != nullptr) std::strncpy(p->name, name, sizeof p->name - 1);
    orvprofiler_reset(p);
    clock_ref(p);
    if (clock_self_time == 0) {
        measureSelfTime(p);
        orvprofiler_reset(p);
    }
    return p;
}

orvprofiler_struct *orvprofiler_destroy(orvprofiler_struct *p) {
    if (p != nullptr) {
        clock_unref(p);
        std::free(p);
    }
    return nullptr;
}

void orvprofiler_reset(orvprofiler_struct *p) {
    p->start = 0;
    p->end = 0;
    p->duration = 0;
    p->maximum = 0;
    p->total = 0;
    p->frameCnt = 0;
    p->minimum = kNoMinimum;
}

void orvprofiler_start(orvprofiler_struct *p) {
    p->end = 0;
    p->start = clock_getCount(p);
}

u32 orvprofiler_stop(orvprofiler_struct *p) {
    p->end = clock_getCount(p);
    const s64 d = p->end - p->start;
    if (d > 0) {
        if (d < p->minimum) p->minimum = d;
        if (d > p->maximum) p->maximum = d;
        p->total += d;
    }
    countInHistogram(p, d);
    p->frameCnt += 1;
    p->duration = d;
    p->start = 0;
    p->end = 0;
    return ticksToMicros(static_cast<double>(d));
}

u32 orvprofiler_getMinimum(const orvprofiler_struct *p) {
    if (p->frameCnt == 0 || p->minimum == kNoMinimum) return 0;
    return ticksToMicros(static_cast<double>(p->minimum));
}

u32 orvprofiler_getMaximum(const orvprofiler_struct *p) {
    return p->frameCnt == 0 ? 0 : ticksToMicros(static_cast<double>(p->maximum));
}

u32 orvprofiler_getAverage(const orvprofiler_struct *p) {
    if (p->frameCnt == 0) return 0;
    return ticksToMicros(static_cast<double>(p->total) / static_cast<double>(p->frameCnt));
}

void orvprofiler_print(const orvprofiler_struct *p) {
    if (p->frameCnt == 0) return;
    std::printf("\nprofiler: name=%s nframes=%d mean=%d, min=%d, max=%d, total=%ld\n", p->name,
                static_cast<int>(p->frameCnt), static_cast<int>(orvprofiler_getAverage(p)),
                static_cast<int>(orvprofiler_getMinimum(p)), static_cast<int>(orvprofiler_getMaximum(p)),
                static_cast<long>(ticksToMicros(static_cast<double>(p->total))));
}

void orvprofiler_printHistogramData(const orvprofiler_struct *p, FILE *file) {
    if (file == nullptr || p->frameCnt == 0) return;
    const double usPerTick = 1e6 / clock_getFreq();
    const char *n = p->name;
    std::fprintf(file, "prof_%s.mat = [\n", n);
    std::fprintf(file, "0 %i\n", static_cast<int>(p->log_histogram[0][0]));
    for (int i = 1; i < 32 && std::ldexp(1.0, i) <= static_cast<double>(p->maximum); ++i) {
        std::fprintf(file, "%.2f %i\n", std::ldexp(1.0, i - 1) * usPerTick,
                     static_cast<int>(p->log_histogram[i][0]));
        std::fprintf(file, "%.2f %i\n", (std::ldexp(1.0, i - 1) + std::ldexp(1.0, i - 2)) * usPerTick,
                     static_cast<int>(p->log_histogram[i][1]));
    }
    std::fprintf(file, "];\n");
    std::fprintf(file, "prof_%s.x = prof_%s.mat(:,1);\n", n, n);
    std::fprintf(file, "prof_%s.y = prof_%s.mat(:,2);\n", n, n);
    std::fprintf(file, "prof_%s = rmfield(prof_%s, 'mat');\n", n, n);
    std::fprintf(file, "prof_%s.min = %u;\n", n, orvprofiler_getMinimum(p));
    std::fprintf(file, "prof_%s.max = %u;\n", n, orvprofiler_getMaximum(p));
    std::fprintf(file, "prof_%s.mean = %u;\n", n, orvprofiler_getAverage(p));
    std::fprintf(file, "\n");
}
