// Putting messages: to one queue, or to every queue registered for the route key.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"
#include "sys/systime.h"
#include "sys/verbose.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace {

using dispatch_detail::kSendDead;
using dispatch_detail::kSendDropped;

constexpr time_t kForeverSeconds = 0x7FFFFFFF;

// One send to one slot. Copies the queue's name for the caller's messages while the slot
// cannot change. A slot being made or destroyed drops the message.
int sendToSlot(msgq &q, const msg &message, unsigned priority, u32 time_limit, const timespec &deadline,
               char (&name)[Q_NAME_SIZE]) {
    if (pthread_rwlock_tryrdlock(&q.rwlock) != 0) return kSendDropped;
    std::memcpy(name, q.name, Q_NAME_SIZE);
    int rc = kSendDead;
    if (q.closing.load(std::memory_order_acquire)) {
        rc = kSendDropped;
    } else if (q.type.load(std::memory_order_acquire) == Q_TYPE_FAST) {
        rc = dispatch_detail::ringPut(q, message, time_limit, deadline);
    } else if (q.type.load(std::memory_order_acquire) == Q_TYPE_POLLABLE) {
        rc = dispatch_detail::posixSend(q, message, priority, time_limit, deadline);
    }
    pthread_rwlock_unlock(&q.rwlock);
    return rc;
}

void putToQueue(msgq &q, const msg &message, unsigned priority, u32 time_limit, const timespec &deadline) {
    char name[Q_NAME_SIZE];
    if (sendToSlot(q, message, priority, time_limit, deadline, name) < 0) {
        std::fprintf(stderr, "couldn't send to queue %s", name);
    }
}

// A send that fails for one queue never stops the others.
void broadcast(u16 key, const msg &message, unsigned priority, u32 time_limit, const timespec &deadline) {
    u32 pending = dispatch_detail::routeMask(key);
    unsigned failed = 0;
    while (pending != 0) {
        const int num = std::countr_zero(pending);
        const u32 bit = 1u << num;
        pending &= ~bit;
        char name[Q_NAME_SIZE];
        const int rc = sendToSlot(dispatch_detail::slot(num), message, priority, time_limit, deadline, name);
        if (rc >= 0) continue;
        // A queue that was unregistered and destroyed after the mask was read is no failure.
        if (rc == kSendDead && (dispatch_detail::routeMask(key) & bit) == 0) continue;
        if (verbose) {
            std::printf("\nError: queue send failed error = %d", rc);
            std::printf("%s ", name);
        }
        ++failed;
    }
    if (failed != 0) std::fprintf(stderr, "Warning: sends to %u queues failed", failed);
}

} // namespace

namespace dispatch_detail {

timespec deadlineFromLimit(u32 time_limit) {
    timespec deadline{};
    if (time_limit == Q_WAIT_FOREVER) {
        deadline.tv_sec = kForeverSeconds;
    } else {
        sys_millisecs_to_timespec(&deadline, time_limit);
    }
    return deadline;
}

bool deadlinePassed(const timespec &deadline) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec > deadline.tv_nsec);
}

} // namespace dispatch_detail

void q_put(msgq *queue, const msg *message, unsigned priority, u32 time_limit) {
    if (message == nullptr) {
        xcp_complain_fn("q_put", 0, "no message given");
        return;
    }
    const u16 key = msg_get_name(message);
    if (key == mNone) return;
    if (key >= mMSG_NAME_COUNT) {
        xcp_complain_fn("q_put", 0, "message name %u is out of range (below %i); message not sent", key,
                        mMSG_NAME_COUNT);
        return;
    }
    // Time limit 0 never reads the clock: real-time threads put that way.
    const timespec deadline = time_limit == 0 ? timespec{} : dispatch_detail::deadlineFromLimit(time_limit);
    if (queue != nullptr) {
        putToQueue(*queue, *message, priority, time_limit, deadline);
    } else {
        broadcast(key, *message, priority, time_limit, deadline);
    }
}
