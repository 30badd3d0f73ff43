// Execution-time profiler with a log-scale histogram: a development aid; nothing in the
// system calls it. Not thread-safe: one profiler belongs to one thread.
#pragma once

#include "orvsys/orvint.h"

#include <cstdio>

struct orvprofiler_struct {
    char name[32]; // NUL-terminated, at most 31 characters
    s64 start;     // clock ticks
    s64 end;
    s64 duration;
    s64 running_mean; // never computed
    s64 deviation;    // never computed
    s64 minimum;
    s64 maximum;
    s64 total;
    s64 frameCnt;
    u32 previous;  // last raw timer value (hardware clock)
    u32 overflows; // timer wrap count (hardware clock)
    // Row: significant bits of a duration; column: the bit just below the top one.
    u32 log_histogram[32][2];
};

// The measured cost of one empty start/stop pair in microseconds; 0 until measured.
extern s32 clock_self_time;

// A zeroed profiler named `name` (at most 31 characters kept), reset and holding a clock
// reference; null on exhausted memory. The first one measures clock_self_time.
orvprofiler_struct *orvprofiler_new(const char *name);

// Returns null; accepts null.
orvprofiler_struct *orvprofiler_destroy(orvprofiler_struct *p);

// Clears the measurements; the histogram stays.
void orvprofiler_reset(orvprofiler_struct *p);

void orvprofiler_start(orvprofiler_struct *p);

// Ends a measurement begun by orvprofiler_start (or, without one, at tick 0) and returns
// its duration in microseconds.
u32 orvprofiler_stop(orvprofiler_struct *p);

// One summary line on standard output; nothing when nothing was measured.
void orvprofiler_print(const orvprofiler_struct *p);

// The histogram as a script for a numerical workspace; nothing when nothing was measured.
void orvprofiler_printHistogramData(const orvprofiler_struct *p, FILE *file);

// In microseconds; 0 when nothing was measured.
u32 orvprofiler_getMinimum(const orvprofiler_struct *p);
u32 orvprofiler_getMaximum(const orvprofiler_struct *p);
u32 orvprofiler_getAverage(const orvprofiler_struct *p);
