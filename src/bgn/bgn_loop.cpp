// The supervisor step: ready bits, shutdown requests and the handshake that ends them.
#include "bgn/bgn.h"

#include "bgn/bgn_xserver.h"
#include "sys/dispatch_timed.h"
#include "sys/systhread.h"

#include <cstdio>
#include <pthread.h>
#include <vector>

namespace {

constexpr std::size_t kHelperStackSize = 64 * 1024;
constexpr u32 kSupervisorBit = 1u << MODULE_BGN;

u32 module_ready = kSupervisorBit;
u16 shutdown_state = SHUTDOWN_ID_NOT_YET;
qticket_t force_ticket = 0;
// Threads that broadcast mShutdownCmd; joined at the teardown.
std::vector<pthread_t> helpers;

// A module code that names a bit of module_ready other than the supervisor's own.
bool isModuleBit(u16 id) {
    return id > MODULE_BGN && id < 32;
}

void *broadcastShutdownCmd(void *) {
    msg cmd{};
    msg_stuff_sysex(&cmd, mShutdownCmd, 0);
    q_put(nullptr, &cmd, Q_PRIORITY, Q_WAIT_FOREVER);
    return nullptr;
}

void armForcedShutdown() {
    if (force_ticket != 0) q_cancel_timedput(force_ticket);
    msg force{};
    msg_stuff_sysex(&force, mForceShutdownCmd, 0);
    force_ticket = q_timedput(nullptr, &force, Q_PRIORITY, BGN_FORCE_SHUTDOWN_MS);
}

void cancelForcedShutdown() {
    if (force_ticket == 0) return;
    q_cancel_timedput(force_ticket);
    force_ticket = 0;
}

// mShutdownCmd that nobody requested through the supervisor comes from SIGQUIT: it runs as an
// ordinary shutdown with the exit id. The command the supervisor broadcast itself comes back
// here too and changes nothing.
void onShutdownCmd() {
    if (shutdown_state != SHUTDOWN_ID_NOT_YET) return;
    std::printf("BGN: Shutdown command received.\n");
    shutdown_state = SHUTDOWN_ID_EXIT;
    armForcedShutdown();
}

u16 onModuleDeath(u16 id) {
    if (isModuleBit(id)) module_ready &= ~(1u << id);
    if (module_ready != kSupervisorBit) return SHUTDOWN_ID_NOT_YET;
    cancelForcedShutdown();
    return shutdown_state;
}

} // namespace

void bgn_reset() {
    module_ready = kSupervisorBit;
    shutdown_state = SHUTDOWN_ID_NOT_YET;
    cancelForcedShutdown();
}

u32 bgn_module_ready() {
    return module_ready;
}

u16 bgn_shutdown_state() {
    return shutdown_state;
}

bool bgn_forced_shutdown_armed() {
    return force_ticket != 0;
}

void bgn_request_shutdown(u16 id) {
    std::printf("BGN: Sending Shutdown message.\n");
    shutdown_state = id;
    helpers.push_back(
        sys_thread_start({"bgn_shutdown", kHelperStackSize, SCHED_OTHER, 0}, broadcastShutdownCmd, nullptr));
    armForcedShutdown();
}

void bgn_join_shutdown_helpers() {
    for (pthread_t helper : helpers) pthread_join(helper, nullptr);
    helpers.clear();
}

u16 bgn_loop(msgq *qin) {
    msg m{};
    if (q_get(qin, &m, nullptr, Q_WAIT_FOREVER) < 0) return SHUTDOWN_ID_NOT_YET;
    const u16 id = m.sysex.id;
    switch (msg_get_name(&m)) {
    case mModuleInit:
        if (isModuleBit(id)) module_ready |= 1u << id;
        return SHUTDOWN_ID_NOT_YET;
    case mModuleWake:
        if (id == MODULE_LCD) bgn_restart_xserver();
        return SHUTDOWN_ID_NOT_YET;
    case mShutdownReq:
        bgn_request_shutdown(id);
        return SHUTDOWN_ID_NOT_YET;
    case mShutdownCmd:
        onShutdownCmd();
        return SHUTDOWN_ID_NOT_YET;
    case mForceShutdownCmd:
        std::printf("BGN: ForceShutdownCmd received.  (ready = 0x%x)\n", module_ready);
        cancelForcedShutdown();
        return shutdown_state;
    case mModuleDeath:
        return onModuleDeath(id);
    default:
        return SHUTDOWN_ID_NOT_YET;
    }
}
