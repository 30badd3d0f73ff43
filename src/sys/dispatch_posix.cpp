// POSIX message queues: the reader's descriptor, whose blocking mode follows the reader's
// last call, and one descriptor for all senders, which always blocks and gets its time
// limit from the deadline of each send.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"
#include "sys/systime.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace {

constexpr mqd_t kNoQueue = static_cast<mqd_t>(-1);
// A sender waiting for room looks this often whether its queue is being destroyed.
constexpr s64 kSendSliceNs = 10'000'000;
const char *const kDepthLimitFile = "/proc/sys/fs/mqueue/msg_max";

// The host's limit on a POSIX queue's depth, or 0 when it cannot be read.
long hostDepthLimit() {
    FILE *file = std::fopen(kDepthLimitFile, "re");
    if (file == nullptr) return 0;
    long limit = 0;
    if (std::fscanf(file, "%ld", &limit) != 1) limit = 0;
    std::fclose(file);
    return limit;
}

mqd_t openReader(const char *name, long depth) {
    mq_attr attr{};
    attr.mq_maxmsg = depth;
    attr.mq_msgsize = static_cast<long>(kMsgSize);
    return mq_open(name, O_RDWR | O_CREAT, 0600, &attr);
}

// The host may hold queues shallower than the unit's; such a queue is clamped to the limit.
mqd_t openReaderClamped(const char *name, long depth) {
    mqd_t mqd = openReader(name, depth);
    if (mqd != kNoQueue || errno != EINVAL) return mqd;
    const long limit = hostDepthLimit();
    if (limit <= 0 || limit >= depth) {
        errno = EINVAL;
        return kNoQueue;
    }
    std::fprintf(stderr, "Warning: queue %s depth %li is above the system limit; clamped to %li\n", name,
                 depth, limit);
    return openReader(name, limit);
}

// Clears or sets the reader descriptor's non-blocking flag when the wanted mode differs.
void setReaderBlocking(msgq_pollable &p, bool blocking) {
    if (p.blocking == blocking) return;
    mq_attr attr{};
    attr.mq_flags = blocking ? 0 : O_NONBLOCK;
    mq_setattr(p.mqd, &attr, nullptr);
    p.blocking = blocking;
}

int sendNow(mqd_t mqd, const msg &message, unsigned priority) {
    // A deadline already past: the blocking descriptor then fails at once on a full queue.
    const timespec expired{};
    for (;;) {
        if (mq_timedsend(mqd, reinterpret_cast<const char *>(&message), kMsgSize, priority, &expired) == 0)
            return 0;
        if (errno == EINTR) continue;
        return errno == ETIMEDOUT ? -EAGAIN : -errno;
    }
}

} // namespace

namespace dispatch_detail {

void posixRemoveStale(const char *name) {
    if (mq_unlink(name) != 0 && errno != ENOENT) {
        xcp_complain_fn("q_create", errno, "can't remove stale queue %s", name);
    }
}

int posixOpen(msgq &q, const char *name, long depth) {
    msgq_pollable &p = q.data.pollable;
    p.mqd = openReaderClamped(name, depth);
    if (p.mqd == kNoQueue) return -errno;
    p.send_mqd = mq_open(name, O_WRONLY);
    if (p.send_mqd == kNoQueue) {
        const int err = errno;
        mq_close(p.mqd);
        mq_unlink(name);
        return -err;
    }
    p.blocking = false;
    setReaderBlocking(p, true);
    std::strncpy(p.mq_name, name, sizeof p.mq_name - 1);
    p.mq_name[sizeof p.mq_name - 1] = '\0';
    return 0;
}

int posixClose(msgq &q) {
    msgq_pollable &p = q.data.pollable;
    int rc = 0;
    if (mq_close(p.send_mqd) != 0) rc = -errno;
    if (mq_close(p.mqd) != 0 && rc == 0) rc = -errno;
    if (mq_unlink(p.mq_name) != 0 && rc == 0) rc = -errno;
    p.mqd = p.send_mqd = kNoQueue;
    return rc;
}

int posixSend(msgq &q, const msg &message, unsigned priority, u32 time_limit, const timespec &deadline) {
    const mqd_t mqd = q.data.pollable.send_mqd;
    if (time_limit == 0) return sendNow(mqd, message, priority);
    const s64 deadline_ns = static_cast<s64>(deadline.tv_sec) * 1'000'000'000 + deadline.tv_nsec;
    for (;;) {
        const timespec slice = sys_ns_to_timespec(std::min(deadline_ns, sys_realtime_ns() + kSendSliceNs));
        if (mq_timedsend(mqd, reinterpret_cast<const char *>(&message), kMsgSize, priority, &slice) == 0)
            return 0;
        if (errno == EINTR) continue;
        if (errno != ETIMEDOUT) return -errno;
        if (q.closing.load(std::memory_order_acquire)) return kSendDropped;
        if (deadlinePassed(deadline)) return -ETIMEDOUT;
    }
}

int posixGet(msgq &q, msg *message, unsigned *priority, u32 time_limit) {
    msgq_pollable &p = q.data.pollable;
    setReaderBlocking(p, time_limit != 0);
    const bool timed = time_limit != 0 && time_limit != Q_WAIT_FOREVER;
    const timespec deadline = timed ? deadlineFromLimit(time_limit) : timespec{};
    msg received{};
    unsigned prio = 0;
    ssize_t length;
    do {
        length = timed
                     ? mq_timedreceive(p.mqd, reinterpret_cast<char *>(&received), kMsgSize, &prio, &deadline)
                     : mq_receive(p.mqd, reinterpret_cast<char *>(&received), kMsgSize, &prio);
    } while (length < 0 && errno == EINTR);

    if (length >= 0) {
        *message = received;
        if (priority != nullptr) *priority = prio;
        return static_cast<int>(length);
    }
    if (errno == EAGAIN) return -1;
    if (errno == ETIMEDOUT) {
        private_stuff_sysex0(message, mNone);
        return -1;
    }
    xcp_complain_fn("q_get_pollable", errno, "can't receive from queue handle %d", static_cast<int>(p.mqd));
    raise(SIGABRT);
    return -1;
}

} // namespace dispatch_detail
