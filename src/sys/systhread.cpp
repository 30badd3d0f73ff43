#include "sys/systhread.h"

#include "sys/complain.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

#ifdef ORV_SANITIZED
// Sanitizers keep shadow frames and redzones on the stack.
constexpr std::size_t kStackFactor = 4;
#else
constexpr std::size_t kStackFactor = 1;
#endif

constexpr std::size_t kThreadNameMax = 15;

std::atomic<bool> realtimeRefusalReported{false};

// What the new thread needs before it runs its entry: it names itself first, so that the
// name is in place before any of its own code runs.
struct StartBlock {
    void *(*entry)(void *);
    void *arg;
    char name[kThreadNameMax + 1];
};

void *startNamed(void *raw) {
    StartBlock block = *static_cast<StartBlock *>(raw);
    delete static_cast<StartBlock *>(raw);
    pthread_setname_np(pthread_self(), block.name);
    return block.entry(block.arg);
}

std::size_t effectiveStackSize(std::size_t asked) {
    return std::max<std::size_t>(asked * kStackFactor, PTHREAD_STACK_MIN);
}

// Returns 0 or the pthread error of the attribute call that failed.
int makeAttributes(pthread_attr_t *attr, const sys_thread_config &config, bool realtime) {
    int rc = pthread_attr_init(attr);
    if (rc != 0) return rc;
    rc = pthread_attr_setstacksize(attr, effectiveStackSize(config.stack_size));
    if (rc == 0 && realtime) {
        sched_param param{};
        param.sched_priority = config.priority;
        rc = pthread_attr_setinheritsched(attr, PTHREAD_EXPLICIT_SCHED);
        if (rc == 0) rc = pthread_attr_setschedpolicy(attr, config.policy);
        if (rc == 0) rc = pthread_attr_setschedparam(attr, &param);
    }
    if (rc != 0) pthread_attr_destroy(attr);
    return rc;
}

int createThread(pthread_t *thread, const sys_thread_config &config, bool realtime, void *(*entry)(void *),
                 void *arg) {
    pthread_attr_t attr;
    int rc = makeAttributes(&attr, config, realtime);
    if (rc != 0) return rc;
    auto *block = new StartBlock{entry, arg, {}};
    std::strncpy(block->name, config.name, kThreadNameMax);
    rc = pthread_create(thread, &attr, startNamed, block);
    if (rc != 0) delete block;
    pthread_attr_destroy(&attr);
    return rc;
}

void reportRealtimeRefusal(const sys_thread_config &config, int rc) {
    if (realtimeRefusalReported.exchange(true)) return;
    std::fprintf(stderr,
                 "Warning: real-time scheduling refused for thread %s (%s); running with normal scheduling\n",
                 config.name, strerrordesc_np(rc));
}

} // namespace

pthread_t sys_thread_start(const sys_thread_config &config, void *(*entry)(void *), void *arg) {
    const bool realtime = config.policy != SCHED_OTHER;
    pthread_t thread{};
    int rc = createThread(&thread, config, realtime, entry, arg);
    if (rc == EPERM && realtime) {
        reportRealtimeRefusal(config, rc);
        rc = createThread(&thread, config, false, entry, arg);
    }
    if (rc != 0) {
        xcp_complain_fn("sys_thread_start", rc, "can't start thread %s", config.name);
        raise(SIGABRT);
    }
    return thread;
}
