// Time limits and sleeping. Queue time limits are milliseconds on the real-time clock.
#pragma once

#include "orvsys/orvint.h"

#include <ctime>

// Needs: ts not null. Guarantees: *ts = the real-time clock now plus millisecs, with the
// nanoseconds carried into the seconds.
void sys_millisecs_to_timespec(timespec *ts, u32 millisecs);

// Sleeps the calling thread for millisecs; a signal does not shorten the sleep. Any other
// failure of the sleep is a complaint, and the function returns.
void sys_sleep(u32 millisecs);

// Returns: the real-time clock in nanoseconds since the epoch.
s64 sys_realtime_ns();

// Returns: ns (nanoseconds since the epoch, not negative) as a timespec.
timespec sys_ns_to_timespec(s64 ns);
