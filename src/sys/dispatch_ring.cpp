// Fast in-process rings. Any thread may put; only the owner takes. Puts are serialised by
// the ring mutex; the owner takes without it. The counters are free-running and compared by
// their unsigned difference, which stays right when they wrap.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"
#include "sys/systime.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr u32 kFullRetryMs = 10;

u16 roundUpToPowerOfTwo(long depth) {
    long items = 1;
    while (items < depth) items <<= 1;
    return static_cast<u16>(items);
}

u32 waiting(const msgq_fast &f) {
    return f.write.load(std::memory_order_relaxed) - f.read.load(std::memory_order_acquire);
}

// The owner's side: copies the oldest message out, then frees its place.
bool takeOne(msgq_fast &f, msg *message, unsigned *priority) {
    const u32 read = f.read.load(std::memory_order_relaxed);
    if (f.write.load(std::memory_order_acquire) == read) return false;
    *message = f.msgs[read & (f.items - 1u)];
    f.read.store(read + 1, std::memory_order_release);
    if (priority != nullptr) *priority = Q_PRIORITY;
    return true;
}

// Needs the ring mutex and a free place.
void storeOne(msgq_fast &f, const msg &message) {
    const u32 write = f.write.load(std::memory_order_relaxed);
    f.msgs[write & (f.items - 1u)] = message;
    f.write.store(write + 1, std::memory_order_release);
    pthread_cond_signal(&f.cond);
}

// Locks the ring mutex for a put that may wait, waiting for room while the ring is full.
// Returns 0 with the mutex held and a free place, or the result of the put without it.
int lockWithRoom(msgq &q, const timespec &deadline) {
    msgq_fast &f = q.data.fast;
    bool warned = false;
    for (;;) {
        if (const int rc = pthread_mutex_timedlock(&f.mutex, &deadline); rc != 0) return -rc;
        if (waiting(f) < f.items) return 0;
        pthread_mutex_unlock(&f.mutex);
        if (q.closing.load(std::memory_order_acquire)) return dispatch_detail::kSendDropped;
        if (!warned) {
            std::fprintf(stderr, "Warning: waiting because queue %s is full (depth = %u)\n", q.name,
                         static_cast<unsigned>(f.items));
            warned = true;
        }
        if (dispatch_detail::deadlinePassed(deadline)) return -ETIMEDOUT;
        sys_sleep(kFullRetryMs);
    }
}

[[noreturn]] void lockFailure(msgq &q, int rc) {
    xcp_complain_fn("q_get_fast", rc, "Failed to acquire queue %s mutex or condition", q.name);
    raise(SIGABRT);
    std::abort();
}

} // namespace

namespace dispatch_detail {

void ringInit(msgq &q, long depth) {
    msgq_fast &f = q.data.fast;
    f.items = roundUpToPowerOfTwo(depth);
    f.read.store(0, std::memory_order_relaxed);
    f.write.store(0, std::memory_order_relaxed);
    f.msgs = static_cast<msg *>(std::calloc(f.items, kMsgSize));
    if (f.msgs == nullptr) {
        xcp_complain_fn("q_create", ENOMEM, "can't allocate queue %s with %u messages", q.name,
                        static_cast<unsigned>(f.items));
        raise(SIGABRT);
    }
    pthread_mutex_init(&f.mutex, mutexAttr());
    pthread_cond_init(&f.cond, nullptr);
}

void ringRelease(msgq &q) {
    msgq_fast &f = q.data.fast;
    pthread_cond_destroy(&f.cond);
    pthread_mutex_destroy(&f.mutex);
    std::free(f.msgs);
    f.msgs = nullptr;
}

int ringPut(msgq &q, const msg &message, u32 time_limit, const timespec &deadline) {
    msgq_fast &f = q.data.fast;
    if (time_limit == 0) {
        if (const int rc = pthread_mutex_trylock(&f.mutex); rc != 0) return -rc;
        if (waiting(f) >= f.items) {
            pthread_mutex_unlock(&f.mutex);
            return -EAGAIN;
        }
    } else if (const int rc = lockWithRoom(q, deadline); rc != 0) {
        return rc;
    }
    storeOne(f, message);
    pthread_mutex_unlock(&f.mutex);
    return 0;
}

int ringGet(msgq &q, msg *message, unsigned *priority, u32 time_limit) {
    msgq_fast &f = q.data.fast;
    if (takeOne(f, message, priority)) return static_cast<int>(kMsgSize);
    if (time_limit == 0) return -1;

    const bool forever = time_limit == Q_WAIT_FOREVER;
    const timespec deadline = deadlineFromLimit(time_limit);
    int rc = forever ? pthread_mutex_lock(&f.mutex) : pthread_mutex_timedlock(&f.mutex, &deadline);
    if (rc == ETIMEDOUT) return takeOne(f, message, priority) ? static_cast<int>(kMsgSize) : -1;
    if (rc != 0) lockFailure(q, rc);
    while (rc == 0 && f.write.load(std::memory_order_acquire) == f.read.load(std::memory_order_relaxed)) {
        rc = forever ? pthread_cond_wait(&f.cond, &f.mutex)
                     : pthread_cond_timedwait(&f.cond, &f.mutex, &deadline);
    }
    pthread_mutex_unlock(&f.mutex);
    // A message that landed as the wait timed out is still taken.
    if (takeOne(f, message, priority)) return static_cast<int>(kMsgSize);
    if (rc != 0 && rc != ETIMEDOUT) lockFailure(q, rc);
    return -1;
}

} // namespace dispatch_detail
