#include "bgn/bgn_exit.h"

#include "sys/msgvocab.h"
#include "sys/systhread.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr std::size_t kWatchdogStackSize = 32 * 1024;
constexpr char kCrashText[] = "Segmentation fault during shutdown\n";

// Read by the signal handler: set before the handler is installed.
volatile sig_atomic_t crash_exit_code = -1;

struct Watchdog {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    bool done = false;
    bool running = false;
    int exit_code = 0;
    u32 limit_ms = 0;
    pthread_t thread;
};
Watchdog watchdog;

timespec monotonicDeadline(u32 ms) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

void *watchTeardown(void *) {
    const timespec deadline = monotonicDeadline(watchdog.limit_ms);
    pthread_mutex_lock(&watchdog.lock);
    int rc = 0;
    while (!watchdog.done && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&watchdog.cond, &watchdog.lock, &deadline);
    const bool hung = !watchdog.done;
    pthread_mutex_unlock(&watchdog.lock);
    if (hung) {
        std::printf("BGN: Teardown did not finish within %u ms; exiting with %d.\n", watchdog.limit_ms,
                    watchdog.exit_code);
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(watchdog.exit_code);
    }
    return nullptr;
}

void startWatchdog(int exit_code, u32 watchdog_ms) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&watchdog.cond, &attr);
    pthread_condattr_destroy(&attr);
    watchdog.done = false;
    watchdog.exit_code = exit_code;
    watchdog.limit_ms = watchdog_ms;
    watchdog.thread =
        sys_thread_start({"bgn_watchdog", kWatchdogStackSize, SCHED_OTHER, 0}, watchTeardown, nullptr);
    watchdog.running = true;
}

} // namespace

int bgn_exit_code(unsigned shutdown_id, int midi_channel) {
    switch (shutdown_id) {
    case SHUTDOWN_ID_EXIT:
        return 0;
    case SHUTDOWN_ID_MIDI_LAUNCH:
        return 16 + (midi_channel & 0x0F);
    case SHUTDOWN_ID_UPDATE:
        return 64;
    case SHUTDOWN_ID_FACTORY_RESET:
        return 68;
    case SHUTDOWN_ID_EXECUTE_SCRIPT:
        return 69;
    default:
        return 99;
    }
}

void sigsegv_handler(int) {
    const int code = crash_exit_code;
    if (code < 0) {
        std::signal(SIGSEGV, SIG_DFL);
        raise(SIGSEGV);
        return;
    }
    const ssize_t ignored = write(STDERR_FILENO, kCrashText, sizeof kCrashText - 1);
    (void)ignored;
    _exit(code);
}

void bgn_teardown_begin(int crash_code, int exit_code, u32 watchdog_ms) {
    crash_exit_code = crash_code;
    struct sigaction action {};
    action.sa_handler = sigsegv_handler;
    sigfillset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    startWatchdog(exit_code, watchdog_ms);
}

void bgn_teardown_end() {
    if (!watchdog.running) return;
    pthread_mutex_lock(&watchdog.lock);
    watchdog.done = true;
    pthread_cond_signal(&watchdog.cond);
    pthread_mutex_unlock(&watchdog.lock);
    pthread_join(watchdog.thread, nullptr);
    pthread_cond_destroy(&watchdog.cond);
    watchdog.running = false;
}
