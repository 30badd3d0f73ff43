// The stand-in module thread: announce, wait for the shutdown command, report the end.
#include "standin/standin.h"

#include "sys/systhread.h"
#include "sys/systime.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t kThreadStackSize = 64 * 1024;
constexpr long kQueueDepth = 16;
constexpr u16 kQueueMsgs[] = {mShutdownCmd, mModuleInit};

constexpr u32 kFailWaitMs = 5000;

std::string log_path;
std::once_flag log_path_read;

// Ready bits of the stand-ins whose threads were started, and of those that announced
// themselves: a stand-in acts on the whole start-up only once both agree.
std::atomic<u32> started_modules{0};
std::atomic<u32> announced_modules{0};

u32 moduleBit(const standin_module &module) {
    return module.code >= 0 ? 1u << module.code : 0;
}

bool allAnnounced() {
    return announced_modules.load(std::memory_order_acquire) ==
           started_modules.load(std::memory_order_acquire);
}

// The start-up is complete once the analysis scheduler runs and every module has announced itself.
bool startUpComplete() {
    return (started_modules.load(std::memory_order_acquire) & (1u << MODULE_BAK)) != 0 && allAnnounced();
}

void broadcastNamed(u16 name, u16 id) {
    msg m{};
    msg_stuff_sysex(&m, name, id);
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}

bool isSet(const char *value) {
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

void requestShutdown(const standin_module &module) {
    if (module.behaviour.shutdown_delay_ms > 0) sys_sleep(module.behaviour.shutdown_delay_ms);
    standin_log("%s requests shutdown %d", module.name, module.behaviour.shutdown_id);
    broadcastNamed(mShutdownReq, static_cast<u16>(module.behaviour.shutdown_id));
}

// Waits for the shutdown command; sends the told shutdown request once the start-up is complete.
void serve(standin_module &module, bool requested) {
    msg m{};
    for (;;) {
        if (q_get(module.queue, &m, nullptr, Q_WAIT_FOREVER) < 0) continue;
        const u16 name = msg_get_name(&m);
        if (name == mShutdownCmd) return;
        if (name == mModuleInit && module.behaviour.shutdown_id >= 0 && !requested && startUpComplete()) {
            requested = true;
            requestShutdown(module);
        }
        if (module.on_message != nullptr) module.on_message(module, m);
    }
}

void registerQueue(standin_module &module) {
    q_register(module.queue, kQueueMsgs, static_cast<int>(std::size(kQueueMsgs)));
    if (module.more_count > 0) q_register(module.queue, module.more_msgs, module.more_count);
}

// What is still queued goes to the handler, so that heap data in it is freed.
void closeQueue(standin_module &module) {
    q_unregister(module.queue, kQueueMsgs, static_cast<int>(std::size(kQueueMsgs)));
    if (module.more_count > 0) q_unregister(module.queue, module.more_msgs, module.more_count);
    msg m{};
    while (module.on_message != nullptr && q_get(module.queue, &m, nullptr, 0) > 0) {
        if (msg_get_name(&m) != mShutdownCmd) module.on_message(module, m);
    }
    q_destroy(module.queue);
}

void *moduleThread(void *arg) {
    standin_module &module = *static_cast<standin_module *>(arg);
    if (module.before_announce != nullptr) module.before_announce(module);
    if (module.behaviour.announce_delay_ms > 0) sys_sleep(module.behaviour.announce_delay_ms);
    if (module.code >= 0) {
        standin_log("%s ready", module.name);
        announced_modules.fetch_or(moduleBit(module), std::memory_order_acq_rel);
        broadcastNamed(mModuleInit, static_cast<u16>(module.code));
    }
    if (module.after_announce != nullptr) module.after_announce(module);
    const bool early = module.behaviour.shutdown_early && module.behaviour.shutdown_id >= 0;
    if (early) requestShutdown(module);
    serve(module, early);
    // The queue goes first: once the end is reported the supervisor may tear the queues down.
    closeQueue(module);
    if (module.code >= 0 && !module.behaviour.never_die) {
        standin_log("%s death", module.name);
        broadcastNamed(mModuleDeath, static_cast<u16>(module.code));
    }
    return nullptr;
}

[[noreturn]] void crash() {
    // An address that is mapped nowhere, not null, so the fault is a real segmentation fault.
    volatile std::uintptr_t wild = 16;
    *reinterpret_cast<volatile int *>(wild) = 1;
    std::abort();
}

[[noreturn]] void hang() {
    for (;;) sys_sleep(1000);
}

} // namespace

const char *standin_env(const standin_module &module, const char *what) {
    std::string name = "DECKHOST_STANDIN_";
    for (const char *c = module.name; *c != '\0'; ++c)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    name += '_';
    name += what;
    return std::getenv(name.c_str());
}

long standin_number(const standin_module &module, const char *what, long fallback) {
    const char *value = standin_env(module, what);
    if (value == nullptr || *value == '\0') return fallback;
    char *end = nullptr;
    const long number = std::strtol(value, &end, 0);
    return *end == '\0' ? number : fallback;
}

void standin_read_behaviour(standin_module &module) {
    standin_behaviour &b = module.behaviour;
    b.fail_init = isSet(standin_env(module, "FAIL_INIT"));
    b.never_die = isSet(standin_env(module, "NEVER_DIE"));
    b.crash_destroy = isSet(standin_env(module, "CRASH_DESTROY"));
    b.hang_destroy = isSet(standin_env(module, "HANG_DESTROY"));
    const long delay = standin_number(module, "ANNOUNCE_DELAY_MS", 0);
    b.announce_delay_ms = delay > 0 ? static_cast<u32>(delay) : 0;
    const long id = standin_number(module, "SHUTDOWN_ID", -1);
    b.shutdown_id = id >= 0 && id <= 0xFFFF ? static_cast<int>(id) : -1;
    b.shutdown_early = isSet(standin_env(module, "SHUTDOWN_EARLY"));
    const long shutdownDelay = standin_number(module, "SHUTDOWN_DELAY_MS", 0);
    b.shutdown_delay_ms = shutdownDelay > 0 ? static_cast<u32>(shutdownDelay) : 0;
}

void standin_log(const char *fmt, ...) {
    std::call_once(log_path_read, [] {
        const char *path = std::getenv("DECKHOST_STANDIN_LOG");
        if (path != nullptr) log_path = path;
    });
    if (log_path.empty()) return;
    char line[1024];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0) return;
    std::size_t len = std::min(static_cast<std::size_t>(n), sizeof line - 2);
    line[len++] = '\n';
    const int fd = open(log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // One write per line: lines of different threads never mix.
    const ssize_t ignored = write(fd, line, len);
    (void)ignored;
    close(fd);
}

bool standin_begin(standin_module &module) {
    standin_read_behaviour(module);
    if (!module.behaviour.fail_init) return true;
    // The modules already started announce themselves first, so the failure meets a start-up
    // in a known state.
    for (u32 waited = 0; !allAnnounced() && waited < kFailWaitMs; waited += 10) sys_sleep(10);
    return false;
}

void standin_start(standin_module &module, bool joinable) {
    started_modules.fetch_or(moduleBit(module), std::memory_order_acq_rel);
    module.queue = q_create(module.queue_name, Q_TYPE_FAST, kQueueDepth);
    registerQueue(module);
    module.thread = sys_thread_start({module.name, kThreadStackSize, SCHED_OTHER, 0}, moduleThread, &module);
    if (!joinable) pthread_detach(module.thread);
    module.running = joinable;
}

void standin_stop(standin_module &module) {
    if (module.running) {
        pthread_join(module.thread, nullptr);
        module.running = false;
    }
    if (module.behaviour.crash_destroy) crash();
    if (module.behaviour.hang_destroy) hang();
}
