// The supervisor of deckhost: the main thread starts the modules, reads its queue
// "/bgn_in_q", runs the shutdown handshake and returns the exit code for the launcher.
#pragma once

#include "orvsys/orvint.h"
#include "sys/dispatch.h"

// The supervisor's queue and the ids it is registered for.
inline constexpr const char *BGN_QUEUE_NAME = "/bgn_in_q";
inline constexpr long BGN_QUEUE_DEPTH = 16;
inline constexpr u16 bgn_msgs[] = {mModuleDeath, mShutdownReq,      mShutdownCmd,     mModuleInit,
                                   mModuleWake,  mAllDevicesLoaded, mForceShutdownCmd};

// After a shutdown request, the modules get this long to report their ends.
inline constexpr u32 BGN_FORCE_SHUTDOWN_MS = 10000;

// The shutdown id that a module failing to start leaves pending: no request carries it, and
// its exit code is 99 like any id outside the table.
inline constexpr u16 BGN_SHUTDOWN_START_FAILED = 0x63;

// Returns: the exit code of the program; see the table of bgn_exit_code (bgn_exit.h).
int main_c(int argc, char **argv);

// Guarantees: module_ready = 1 (only the supervisor runs), no shutdown pending, and a forced
// shutdown still armed is cancelled.
void bgn_reset();

// Needs: qin is the supervisor's queue, read only by the calling thread.
// Returns: after taking and handling one message (waiting for ever), the pending shutdown id
// when the shutdown has finished (every announced module reported its end, or the forced
// shutdown arrived), else SHUTDOWN_ID_NOT_YET.
u16 bgn_loop(msgq *qin);

// Guarantees: shutdown_state = id; "BGN: Sending Shutdown message." is printed; mShutdownCmd
// (id 0) is broadcast by a helper thread, so a full supervisor queue cannot block it; the
// forced shutdown is armed 10 s from now (an earlier one is cancelled).
void bgn_request_shutdown(u16 id);

// Needs: the supervisor's queue is gone. Guarantees: the helper threads of bgn_request_shutdown
// have ended.
void bgn_join_shutdown_helpers();

// The supervisor's state, for the start-up and its checks.
u32 bgn_module_ready();
u16 bgn_shutdown_state();
bool bgn_forced_shutdown_armed();
