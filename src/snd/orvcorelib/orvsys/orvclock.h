// The profiler's clock. The ARM unit can count with its hardware timer (ORV_IMX_TIMER);
// every other build counts processor time in microseconds.
#pragma once

#include "orvsys/orvint.h"

struct orvprofiler_struct;

// Takes a reference on the clock for profiler p; returns 0, or -1 when the clock could not
// be opened (it then stays unreferenced and counts 0).
int clock_ref(orvprofiler_struct *p);
void clock_unref(orvprofiler_struct *p);

// The current count in ticks.
s64 clock_getCount(orvprofiler_struct *p);

// Ticks per second.
double clock_getFreq();
