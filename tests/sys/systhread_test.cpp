// Starting threads: name, stack, argument, and the fall-back from real-time scheduling.
#include "sys/systhread.h"

#include "dispatch_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>

namespace {

struct Observed {
    int value = 0;
    char name[16] = {};
    std::size_t stack = 0;
    int policy = -1;
    int priority = -1;
};

void *observe(void *arg) {
    auto *seen = static_cast<Observed *>(arg);
    seen->value += 1;
    pthread_getname_np(pthread_self(), seen->name, sizeof seen->name);
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstacksize(&attr, &seen->stack);
    pthread_attr_destroy(&attr);
    sched_param param{};
    pthread_getschedparam(pthread_self(), &seen->policy, &param);
    seen->priority = param.sched_priority;
    return nullptr;
}

Observed runThread(const sys_thread_config &config) {
    Observed seen;
    const pthread_t thread = sys_thread_start(config, observe, &seen);
    pthread_join(thread, nullptr);
    return seen;
}

TEST(SysThread, RunsNamedWithItsStackAndArgument) {
    const Observed seen = runThread({"a_thread_name_longer_than_15", 256 * 1024, SCHED_OTHER, 0});
    EXPECT_EQ(seen.value, 1);
    EXPECT_STREQ(seen.name, "a_thread_name_l");
    EXPECT_GE(seen.stack, 256u * 1024u);
    EXPECT_EQ(seen.policy, SCHED_OTHER);
}

// Exit code of the child below: 0 when the outcome is consistent, else which check failed.
int realTimeOutcome() {
    systest::StderrPipe printed;
    const Observed first = runThread({"rt_first", 64 * 1024, SCHED_FIFO, 45});
    const Observed second = runThread({"rt_second", 64 * 1024, SCHED_FIFO, 10});
    const std::string warnings = printed.restore();
    if (first.value != 1 || second.value != 1) return 1;
    if (first.policy != second.policy) return 2;
    if (first.policy == SCHED_FIFO)
        return first.priority == 45 && second.priority == 10 && warnings.empty() ? 0 : 3;
    if (first.policy != SCHED_OTHER) return 4;
    // Refused: both threads run normally, and the refusal is reported once.
    return warnings == "Warning: real-time scheduling refused for thread rt_first (Operation not permitted); "
                       "running with normal scheduling\n"
               ? 0
               : 5;
}

TEST(SysThread, RealTimeRunsOrFallsBackWithOneWarning) {
    // The one warning is per process: a fresh process shows it whatever ran before here.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(realTimeOutcome()), testing::ExitedWithCode(0), "");
}

} // namespace
