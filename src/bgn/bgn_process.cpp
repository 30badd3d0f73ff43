// Process-wide settings of the start-up, and the diagnostics of the end.
#include "bgn/bgn_startup.h"

#include "sys/systime.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr rlim_t kStackSize = 0x400000;
constexpr const char *kLocale = "en_US.utf8";

// The I/O priority of the kernel's ioprio calls: class in the top bits, level below.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassShift = 13;
constexpr long kIoprioLevelMask = 0x1FFF;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioLevel = 2;

long ioprioGet() {
    return syscall(SYS_ioprio_get, kIoprioWhoProcess, 0);
}

} // namespace

void bgn_set_stack_limit() {
    rlimit limit{};
    getrlimit(RLIMIT_STACK, &limit);
    limit.rlim_cur = kStackSize;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kStackSize) limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_STACK, &limit);
    // The limit alone sizes only the main thread once the process runs; new threads take
    // their default from the thread library.
    pthread_attr_t attr;
    if (pthread_getattr_default_np(&attr) != 0) return;
    if (pthread_attr_setstacksize(&attr, kStackSize) == 0) pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
}

void bgn_set_locale() {
    setenv("LANGUAGE", kLocale, 0);
    setenv("LANG", kLocale, 0);
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_COLLATE, kLocale);
}

void bgn_set_io_priority() {
    const int value = (kIoprioClassBestEffort << kIoprioClassShift) | kIoprioLevel;
    const long rc = syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, value);
    std::printf("IO Priority set to BE-2, %d (pid %d)\n", static_cast<int>(rc), static_cast<int>(getpid()));
}

unsigned bgn_thread_count() {
    FILE *status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) return 0;
    unsigned threads = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Threads: %u", &threads) == 1) break;
    }
    std::fclose(status);
    return threads;
}

void bgn_print_exit_diagnostics() {
    std::printf("Sqlite memory usage: current = %lli max = %lli\n",
                static_cast<long long>(sqlite3_memory_used()),
                static_cast<long long>(sqlite3_memory_highwater(0)));
    std::printf("Sqlite library version: %s, threadsafe=%d\n", sqlite3_libversion(), sqlite3_threadsafe());
    const long prio = ioprioGet();
    std::printf("IO Priority of main at exit: class %d, level %ld\n",
                static_cast<int>(prio >> kIoprioClassShift), prio & kIoprioLevelMask);
    unsigned threads = bgn_thread_count();
    if (threads > 1) {
        sys_sleep(1000);
        threads = bgn_thread_count();
        if (threads > 1) {
            threads = bgn_thread_count();
            std::printf("%u threads remaining at exit.\n", threads);
        }
    }
}
