// Message queues and routing: every thread of deckhost owns a queue of messages; a message
// put without a target goes to every queue registered for its route key.
//
// Two kinds of queue sit behind one handle: a fast in-process ring (named "@...") and a POSIX
// message queue (named "/...") that its reader can poll together with file descriptors.
//
// Time limits are milliseconds: 0 does not wait, Q_WAIT_FOREVER waits for ever, any other
// value is a deadline on the real-time clock, now plus the limit.
//
// Real-time threads (the audio thread, the waveform renderer) use only time limit 0, for
// puts and for gets: such a call never sleeps, and a busy or full ring fails at once.
#pragma once

#include "orvsys/orvint.h"
#include "sys/msg.h"

#include <atomic>
#include <climits>
#include <mqueue.h>
#include <pthread.h>

inline constexpr int Q_MAX_QUEUES = 32;
inline constexpr long Q_MAX_DEPTH = 32768;
inline constexpr u32 Q_WAIT_FOREVER = 0xFFFFFFFFu;
// The priority every sender in deckhost uses; fast rings ignore priorities.
inline constexpr unsigned Q_PRIORITY = 15;
// A poll watches the queue and at most this many file descriptors.
inline constexpr int Q_MAX_POLL_FILES = 15;
inline constexpr int Q_NAME_SIZE = 16;

enum q_type {
    Q_TYPE_DEAD = 0,     // free slot or destroyed queue
    Q_TYPE_FAST = 1,     // in-process ring
    Q_TYPE_POLLABLE = 2, // POSIX message queue
};

enum q_poll_result {
    Q_POLL_MSG_ERROR = -3,
    Q_POLL_FILE_ERROR = -2,
    Q_POLL_TIMEOUT = -1,
    Q_POLL_MSG_READY = 0,
    Q_POLL_FILE_READY = 1,
};

// An in-process ring. read and write are free-running counters: the next message to take is
// msgs[read % items], the next free place msgs[write % items]; write - read messages wait.
struct msgq_fast {
    msg *msgs;
    u16 items; // a power of two
    std::atomic<u32> read;
    std::atomic<u32> write;
    pthread_mutex_t mutex; // guards write and the full test
    pthread_cond_t cond;   // signalled on each put
};

// A POSIX message queue. The reader owns mqd and sets its blocking mode; senders share
// send_mqd, which always blocks, so the reader's mode never changes a sender's time limit.
struct msgq_pollable {
    mqd_t mqd;
    mqd_t send_mqd;
    bool blocking;
    char mq_name[NAME_MAX + 1]; // the full name the queue was opened with
};

// One queue handle. Handles live in a static table of Q_MAX_QUEUES slots and are never freed.
struct msgq {
    std::atomic<q_type> type;
    u8 num;                    // slot number 0 to 31, the queue's bit in the routing table
    char name[Q_NAME_SIZE];    // at most 15 characters; '^' first once destroyed
    pthread_rwlock_t rwlock;   // senders try it for reading; creation and destruction write
    std::atomic<bool> closing; // set while the queue is being destroyed
    struct {
        msgq_fast fast;
        msgq_pollable pollable;
    } data;
};

// Needs: called once, before any queue is made. Guarantees: the slot table, the routing
// table and the timed dispatcher are ready; prints "Dispatcher initialized".
void dispatch_init();

// Needs: the owners have destroyed their queues. Guarantees: the timed dispatcher has stopped
// (pending timed messages are dropped) and the locks are gone; prints
// "Queue <name> is still locked and shouldn't be" for a slot whose lock is still held.
void dispatch_destroy();

// Needs: name not null ("@..." for fast, "/..." for pollable); type fast or pollable;
// 1 <= max_count <= Q_MAX_DEPTH.
// Returns: the handle of the new queue. A fast ring holds max_count rounded up to a power of
// two; a POSIX queue deeper than the host allows is clamped to the host limit with a warning.
// A bad argument, a 33rd queue or a POSIX queue that cannot be made: a complaint, then SIGABRT.
msgq *q_create(const char *name, q_type type, long max_count);

// Guarantees: the queue is dead and its slot free for reuse; puts that arrive or wait while
// it is being destroyed are dropped without a word. A second destroy prints a warning.
void q_destroy(msgq *queue);

// Needs: messages holds msg_count ids below mMSG_NAME_COUNT (each larger one is a complaint
// and is skipped). Guarantees: the queue receives (or no longer receives) broadcasts of them.
void q_register(msgq *queue, const u16 *messages, int msg_count);
void q_unregister(msgq *queue, const u16 *messages, int msg_count);

// Puts a copy of *message into queue, or, with queue null, into every queue registered for
// its route key, lowest slot first. A route key of 0 sends nothing; one of mMSG_NAME_COUNT or
// above is a complaint. Failures are printed, never returned: "couldn't send to queue <name>"
// for a targeted put, "Warning: sends to <n> queues failed" after a broadcast. A queue whose
// lock is busy (being made or destroyed) is skipped without a word.
void q_put(msgq *queue, const msg *message, unsigned priority, u32 time_limit);

// Takes the next message of queue (its owner's thread only).
// Returns: kMsgSize (20 on the unit) with *message filled and *priority (when not null) set
// (15 for a fast queue); -1 when none came within the time limit or the queue is dead. A
// pollable queue that times out leaves a named head with name 0 and id MSG_NO_ID in *message.
int q_get(msgq *queue, msg *message, unsigned *priority, u32 time_limit);

// Waits until the pollable queue has a message or one of the fd_count descriptors of fd_array
// has input (a negative descriptor is left out). time_limit is the wait in ms.
// Returns: Q_POLL_MSG_READY; Q_POLL_FILE_READY with *out_idx_fd_changed = the index in
// fd_array; Q_POLL_TIMEOUT; Q_POLL_FILE_ERROR (index set) or Q_POLL_MSG_ERROR for an entry
// that hung up or failed. A fast queue, more than Q_MAX_POLL_FILES descriptors or a missing
// array is a complaint and gives Q_POLL_MSG_ERROR. The message is not taken.
q_poll_result q_poll_array(msgq *queue, int fd_count, const int *fd_array, u32 time_limit,
                           int *out_idx_fd_changed);
