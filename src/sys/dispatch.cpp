// The slot table: creating and destroying queues, and the dispatcher's start and end.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"
#include "sys/dispatch_timed.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

std::array<msgq, Q_MAX_QUEUES> queues{};
pthread_mutexattr_t mutex_attr;
pthread_mutex_t queues_lock = PTHREAD_MUTEX_INITIALIZER;
int queue_num = 0; // where the next free-slot search starts; guarded by queues_lock

bool validType(q_type type) {
    return type == Q_TYPE_FAST || type == Q_TYPE_POLLABLE;
}

// Returns false (after a complaint) when q_create cannot go on with these arguments.
bool checkCreateArguments(const char *name, q_type type, long max_count) {
    if (name == nullptr) {
        xcp_complain_fn("q_create", 0, "no queue name given");
        return false;
    }
    if (!validType(type)) {
        xcp_complain_fn("q_create", 0, "queue %s: unknown queue type %i", name, static_cast<int>(type));
        return false;
    }
    if (max_count < 1 || max_count > Q_MAX_DEPTH) {
        xcp_complain_fn("q_create", 0, "queue %s: depth %li is out of range (1 to %li)", name, max_count,
                        Q_MAX_DEPTH);
        return false;
    }
    return true;
}

// Takes a free slot, starting after the last one taken, and returns it write-locked with its
// type set; null when all slots are in use. Locking the slot before its type changes keeps
// senders from seeing a live type before the queue is ready.
msgq *claimSlot(q_type type) {
    msgq *claimed = nullptr;
    pthread_mutex_lock(&queues_lock);
    for (int i = 0; i < Q_MAX_QUEUES && claimed == nullptr; ++i) {
        msgq &candidate = queues[(queue_num + i) % Q_MAX_QUEUES];
        if (candidate.type.load(std::memory_order_acquire) == Q_TYPE_DEAD) claimed = &candidate;
    }
    if (claimed != nullptr) {
        pthread_rwlock_wrlock(&claimed->rwlock);
        claimed->type.store(type, std::memory_order_release);
        queue_num = (claimed->num + 1) % Q_MAX_QUEUES;
    }
    pthread_mutex_unlock(&queues_lock);
    return claimed;
}

void storeName(msgq &q, const char *name) {
    std::strncpy(q.name, name, Q_NAME_SIZE - 1);
    q.name[Q_NAME_SIZE - 1] = '\0';
}

void markDead(msgq &q) {
    q.name[0] = '^';
    q.type.store(Q_TYPE_DEAD, std::memory_order_release);
}

void initSlotLock(msgq &q) {
    pthread_rwlockattr_t attr;
    pthread_rwlockattr_init(&attr);
    // A waiting destroy must not starve behind a stream of senders.
    pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&q.rwlock, &attr);
    pthread_rwlockattr_destroy(&attr);
}

} // namespace

namespace dispatch_detail {

msgq &slot(int num) {
    return queues[static_cast<std::size_t>(num)];
}
const pthread_mutexattr_t *mutexAttr() {
    return &mutex_attr;
}

} // namespace dispatch_detail

void dispatch_init() {
    pthread_mutexattr_init(&mutex_attr);
    pthread_mutexattr_setprotocol(&mutex_attr, PTHREAD_PRIO_NONE);
    for (int i = 0; i < Q_MAX_QUEUES; ++i) {
        msgq &q = queues[static_cast<std::size_t>(i)];
        q.num = static_cast<u8>(i);
        q.type.store(Q_TYPE_DEAD);
        q.closing.store(false);
        initSlotLock(q);
    }
    queue_num = 0;
    dispatch_detail::routeReset();
    dispatch_timed_init();
    std::printf("Dispatcher initialized\n");
}

void dispatch_destroy() {
    dispatch_timed_destroy();
    for (msgq &q : queues) {
        if (pthread_rwlock_trywrlock(&q.rwlock) != 0) {
            std::fprintf(stderr, "Queue %s is still locked and shouldn't be\n", q.name);
            continue;
        }
        pthread_rwlock_unlock(&q.rwlock);
        pthread_rwlock_destroy(&q.rwlock);
    }
    pthread_mutexattr_destroy(&mutex_attr);
}

msgq *q_create(const char *name, q_type type, long max_count) {
    if (!checkCreateArguments(name, type, max_count)) {
        raise(SIGABRT);
        return nullptr;
    }
    if (type == Q_TYPE_POLLABLE) dispatch_detail::posixRemoveStale(name);

    msgq *q = claimSlot(type);
    if (q == nullptr) {
        xcp_complain_fn("q_create", 0, "Maximum number of message queues (max == %i) exceeded", Q_MAX_QUEUES);
        raise(SIGABRT);
        return nullptr;
    }
    storeName(*q, name);
    if (type == Q_TYPE_POLLABLE) {
        const int rc = dispatch_detail::posixOpen(*q, name, max_count);
        if (rc != 0) {
            markDead(*q);
            pthread_rwlock_unlock(&q->rwlock);
            xcp_complain_fn("q_create", rc, "can't create queue %s with %li messages of maximum length %li",
                            name, max_count, static_cast<long>(kMsgSize));
            raise(SIGABRT);
            return nullptr;
        }
    } else {
        dispatch_detail::ringInit(*q, max_count);
    }
    q->closing.store(false, std::memory_order_release);
    pthread_rwlock_unlock(&q->rwlock);
    return q;
}

void q_destroy(msgq *queue) {
    if (queue == nullptr) {
        xcp_complain_fn("q_destroy", 0, "no queue given");
        return;
    }
    // Senders waiting for room see this and give up, so the write lock below comes free.
    queue->closing.store(true, std::memory_order_release);
    pthread_rwlock_wrlock(&queue->rwlock);
    switch (queue->type.load(std::memory_order_acquire)) {
    case Q_TYPE_FAST:
        dispatch_detail::ringRelease(*queue);
        break;
    case Q_TYPE_POLLABLE:
        if (const int rc = dispatch_detail::posixClose(*queue); rc != 0) {
            xcp_complain_fn("q_destroy", rc, "can't destroy queue %s", queue->name);
        }
        break;
    case Q_TYPE_DEAD:
        std::fprintf(stderr, "Warning: %s called on queue %s which was already destroyed\n", "q_destroy",
                     queue->name);
        break;
    }
    markDead(*queue);
    queue->closing.store(false, std::memory_order_release);
    pthread_rwlock_unlock(&queue->rwlock);
}
