// The machinery the module stand-ins share. What each stand-in does is told by environment
// variables named DECKHOST_STANDIN_<MODULE>_<WHAT> (MODULE: DB, BAK, SND, PLY, DEK, LCD), read
// when its init function runs:
//   FAIL_INIT=1          the init function fails as the real one does when its thread cannot start
//   ANNOUNCE_DELAY_MS=n  the module announces itself n ms after its thread starts
//   NEVER_DIE=1          after mShutdownCmd the thread ends without reporting mModuleDeath
//   CRASH_DESTROY=1      the destroy function crashes with a segmentation fault
//   HANG_DESTROY=1       the destroy function never returns
//   SHUTDOWN_ID=n        once the start-up is complete (the analysis scheduler runs and every
//                        module started has announced itself), the module sends mShutdownReq
//                        with id n
//   SHUTDOWN_EARLY=1     the request goes out as soon as the module has announced itself,
//                        while the start-up still runs
//   SHUTDOWN_DELAY_MS=n  the request goes out n ms later than it would, so that threads that
//                        start after the modules (the hot-plug listener) have run
// A stand-in told to fail its init waits (up to 5 s) until the modules started before it have
// announced themselves, so that the failure always meets the same state.
// DECKHOST_STANDIN_LOG names a file that gets one line per init and destroy call and per
// announcement and reported end ("db_init", "db ready", "db death", "db_destroy"...).
#pragma once

#include "orvsys/orvint.h"
#include "sys/dispatch.h"

#include <pthread.h>

struct standin_behaviour {
    bool fail_init = false;
    bool never_die = false;
    bool crash_destroy = false;
    bool hang_destroy = false;
    u32 announce_delay_ms = 0;
    int shutdown_id = -1; // none
    bool shutdown_early = false;
    u32 shutdown_delay_ms = 0;
};

struct standin_module {
    const char *name;       // lower case: log lines; upper-cased in the variable names
    int code;               // the ModuleCode it announces, or -1 for a thread without a ready bit
    const char *queue_name; // an in-process ring
    // Runs on the module's thread before it announces itself; may be null.
    void (*before_announce)(standin_module &module);
    standin_behaviour behaviour{};
    msgq *queue = nullptr;
    pthread_t thread{};
    bool running = false; // a thread was started and is to be joined
    // Runs on the module's thread right after it announces itself; may be null.
    void (*after_announce)(standin_module &module) = nullptr;
    // More ids the queue is registered for, besides mShutdownCmd and mModuleInit.
    const u16 *more_msgs = nullptr;
    int more_count = 0;
    // Gets every message but the shutdown command, on the module's thread, including those still
    // queued when the module ends (so that heap data they carry is freed); may be null.
    void (*on_message)(standin_module &module, const msg &m) = nullptr;
};

// Returns: the value of DECKHOST_STANDIN_<MODULE>_<what> for module's name, or null.
const char *standin_env(const standin_module &module, const char *what);

// Returns: a number read from standin_env, or fallback when unset or not a number.
long standin_number(const standin_module &module, const char *what, long fallback);

// Guarantees: module.behaviour is read from the environment.
void standin_read_behaviour(standin_module &module);

// Appends one line to the file named by DECKHOST_STANDIN_LOG (when set); safe from any thread.
void standin_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Guarantees: module.behaviour is read. Returns: false when the init is to fail, after the
// modules already started have announced themselves.
bool standin_begin(standin_module &module);

// Needs: standin_begin returned true.
// Guarantees: the module's queue is made and registered before its thread starts, so no
// message of the start-up is missed; joinable tells whether a destroy function joins the thread.
void standin_start(standin_module &module, bool joinable);

// Guarantees: the thread has ended (when one runs and is joinable); then crashes or hangs when
// the behaviour says so.
void standin_stop(standin_module &module);
