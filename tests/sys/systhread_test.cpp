// Starting threads: name, stack, argument, and the fall-back from real-time scheduling.
#include "sys/systhread.h"

#include <gtest/gtest.h>

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

TEST(SysThread, RealTimeRunsOrFallsBackWithOneWarning) {
    testing::internal::CaptureStderr();
    const Observed first = runThread({"rt_first", 64 * 1024, SCHED_FIFO, 45});
    const Observed second = runThread({"rt_second", 64 * 1024, SCHED_FIFO, 10});
    const std::string warnings = testing::internal::GetCapturedStderr();

    // Either the host grants real-time scheduling, or the threads run normally and the
    // first refusal is reported, once.
    for (const Observed *seen : {&first, &second}) {
        EXPECT_EQ(seen->value, 1);
        EXPECT_TRUE(seen->policy == SCHED_FIFO || seen->policy == SCHED_OTHER);
    }
    if (first.policy == SCHED_FIFO) {
        EXPECT_EQ(first.priority, 45);
        EXPECT_EQ(second.priority, 10);
    }
    if (first.policy == SCHED_OTHER) {
        EXPECT_EQ(warnings,
                  "Warning: real-time scheduling refused for thread rt_first (Operation not permitted); "
                  "running with normal scheduling\n");
    }
    if (first.policy == SCHED_FIFO) {
        EXPECT_EQ(warnings, "");
    }
}

} // namespace
