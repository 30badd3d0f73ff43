// Profiler clock of the ARM unit: the i.MX general-purpose timer, read through /dev/mem.
#if defined(ORV_IMX_TIMER)

#include "orvsys/orvclock.h"
#include "orvsys/orvprofiler.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr off_t kTimerPhysicalBase = 0x53F90000;
constexpr size_t kTimerPageBytes = 4096;
constexpr size_t kCounterOffset = 0x24;

std::mutex s_lock;
int s_refs = 0;
int s_fd = -1;
void *s_page = nullptr;
volatile const u32 *s_counter = nullptr;
double s_frequency = 0.0;

// The timer's clock rate: the fifth field of the "gpt_clk-0" line of /proc/cpu/clocks.
double readTimerFrequency() {
    FILE *f = std::fopen("/proc/cpu/clocks", "re");
    if (f == nullptr) {
        std::perror("popen");
        return 0.0;
    }
    char line[256];
    long hz = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strstr(line, "gpt_clk-0") == nullptr) continue;
        char *save = nullptr;
        char *field = strtok_r(line, " \t\n", &save);
        for (int i = 1; field != nullptr && i < 5; ++i) field = strtok_r(nullptr, " \t\n", &save);
        if (field != nullptr) hz = std::strtol(field, nullptr, 10);
        break;
    }
    std::fclose(f);
    return static_cast<double>(hz);
}

} // namespace

int clock_ref(orvprofiler_struct *p) {
    std::lock_guard<std::mutex> guard(s_lock);
    if (s_refs == 0) {
        s_fd = open("/dev/mem", O_RDONLY | O_CLOEXEC);
        if (s_fd < 0) {
            std::perror("open");
            return -1;
        }
        s_page = mmap(nullptr, kTimerPageBytes, PROT_READ, MAP_SHARED, s_fd, kTimerPhysicalBase);
        if (s_page == MAP_FAILED) {
            std::perror("mmap");
            close(s_fd);
            s_fd = -1;
            s_page = nullptr;
            return -1;
        }
        s_counter =
            reinterpret_cast<volatile const u32 *>(static_cast<const char *>(s_page) + kCounterOffset);
        if (s_frequency <= 0.0) {
            s_frequency = readTimerFrequency();
            if (s_frequency <= 0.0) std::fprintf(stderr, "%s: failed to get clock frequency\n", "clock_ref");
        }
    }
    if (p != nullptr) {
        p->previous = *s_counter;
        p->overflows = 0;
    }
    ++s_refs;
    return 0;
}

void clock_unref(orvprofiler_struct *) {
    std::lock_guard<std::mutex> guard(s_lock);
    if (s_refs == 0 || --s_refs > 0) return;
    munmap(s_page, kTimerPageBytes);
    close(s_fd);
    s_page = nullptr;
    s_counter = nullptr;
    s_fd = -1;
}

s64 clock_getCount(orvprofiler_struct *p) {
    if (s_counter == nullptr || p == nullptr) return 0;
    const u32 now = *s_counter;
    if (now < p->previous) ++p->overflows;
    p->previous = now;
    return (static_cast<s64>(p->overflows) << 32) + now;
}

double clock_getFreq() {
    return s_frequency;
}

#endif
