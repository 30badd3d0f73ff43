// Portable profiler clock: processor time in microseconds.
#if !defined(ORV_IMX_TIMER)

#include "orvsys/orvclock.h"

#include <ctime>

int clock_ref(orvprofiler_struct *) {
    return 0;
}

void clock_unref(orvprofiler_struct *) {}

s64 clock_getCount(orvprofiler_struct *) {
    const std::clock_t now = std::clock();
    if (now == static_cast<std::clock_t>(-1)) return 0;
    return static_cast<s64>(now) * 1000000 / CLOCKS_PER_SEC;
}

double clock_getFreq() {
    return 1000000.0;
}

#endif
