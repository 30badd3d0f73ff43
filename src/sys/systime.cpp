#include "sys/systime.h"

#include "sys/complain.h"

#include <cerrno>

namespace {
constexpr long kNsPerSecond = 1000000000L;
constexpr long kNsPerMs = 1000000L;
} // namespace

s64 sys_realtime_ns() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<s64>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

timespec sys_ns_to_timespec(s64 ns) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    ts.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    return ts;
}

void sys_millisecs_to_timespec(timespec *ts, u32 millisecs) {
    clock_gettime(CLOCK_REALTIME, ts);
    ts->tv_sec += static_cast<time_t>(millisecs / 1000);
    ts->tv_nsec += static_cast<long>(millisecs % 1000) * kNsPerMs;
    if (ts->tv_nsec >= kNsPerSecond) {
        ts->tv_sec += 1;
        ts->tv_nsec -= kNsPerSecond;
    }
}

void sys_sleep(u32 millisecs) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(millisecs / 1000);
    remaining.tv_nsec = static_cast<long>(millisecs % 1000) * kNsPerMs;
    while (nanosleep(&remaining, &remaining) != 0) {
        if (errno != EINTR) {
            xcp_complain_fn("sys_sleep", errno, "aborted nanosleep");
            return;
        }
    }
}
