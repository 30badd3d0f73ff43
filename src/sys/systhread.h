// The one way deckhost starts a thread.
#pragma once

#include <cstddef>
#include <pthread.h>
#include <sched.h>

struct sys_thread_config {
    const char *name;       // thread name; the first 15 characters are kept
    std::size_t stack_size; // bytes; multiplied under the sanitizers, raised to the system minimum
    int policy;             // SCHED_OTHER, or SCHED_FIFO / SCHED_RR for a real-time thread
    int priority;           // real-time priority; ignored for SCHED_OTHER
};

// Needs: config.name not null, entry not null.
// Returns: the handle of the running, joinable thread (the caller joins it).
// Guarantees: the thread runs with the asked stack size, policy and priority; when the
// system refuses the real-time policy (no permission), the thread runs with normal
// scheduling instead, and the first such refusal in the process prints one warning on
// standard error. Any other failure is a complaint followed by SIGABRT.
pthread_t sys_thread_start(const sys_thread_config &config, void *(*entry)(void *), void *arg);
