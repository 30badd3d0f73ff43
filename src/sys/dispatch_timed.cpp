// The timed dispatcher: pending entries in due order, and the thread that delivers them.
// The thread takes the due entries out under the lock and puts them after releasing it, so
// a full target queue holds up delivery but never a timed put or a cancel.
#include "sys/dispatch_timed.h"

#include "sys/complain.h"
#include "sys/systhread.h"
#include "sys/systime.h"

#include <cerrno>

namespace {

constexpr std::size_t kDeliveryStackSize = 128 * 1024;

pthread_mutex_t timedqueue_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t timedqueue_cond = PTHREAD_COND_INITIALIZER;
bool timedqueue_done = false;
bool delivery_running = false;
timed_queue pending;
pthread_t delivery_thread;

void deliver(std::vector<timed_entry> &due) {
    for (timed_entry &entry : due) q_put(entry.target, &entry.message, entry.priority, Q_WAIT_FOREVER);
    due.clear();
}

void *dispatch_delay(void *) {
    std::vector<timed_entry> due;
    pthread_mutex_lock(&timedqueue_lock);
    while (!timedqueue_done) {
        if (pending.empty()) {
            pthread_cond_wait(&timedqueue_cond, &timedqueue_lock);
            continue;
        }
        const qticket_t now = sys_realtime_ns();
        if (pending.firstDue() > now) {
            const timespec until = sys_ns_to_timespec(pending.firstDue());
            pthread_cond_timedwait(&timedqueue_cond, &timedqueue_lock, &until);
            continue;
        }
        pending.takeDue(now, due);
        pthread_mutex_unlock(&timedqueue_lock);
        deliver(due);
        pthread_mutex_lock(&timedqueue_lock);
    }
    pthread_mutex_unlock(&timedqueue_lock);
    return nullptr;
}

} // namespace

qticket_t q_timedput(msgq *queue, const msg *message, unsigned prio, u32 delay) {
    if (message == nullptr) {
        xcp_complain_fn("q_timedput", 0, "no message given");
        return 0;
    }
    timespec due{};
    sys_millisecs_to_timespec(&due, delay);
    const qticket_t due_ns = static_cast<qticket_t>(due.tv_sec) * 1'000'000'000 + due.tv_nsec;
    pthread_mutex_lock(&timedqueue_lock);
    const qticket_t ticket = pending.add(due_ns, queue, *message, prio);
    pthread_cond_signal(&timedqueue_cond);
    pthread_mutex_unlock(&timedqueue_lock);
    return ticket;
}

int q_cancel_timedput(qticket_t ticket) {
    pthread_mutex_lock(&timedqueue_lock);
    const bool removed = ticket != 0 && pending.cancel(ticket);
    pthread_mutex_unlock(&timedqueue_lock);
    return removed ? 0 : -EINVAL;
}

void dispatch_timed_init() {
    pthread_mutex_lock(&timedqueue_lock);
    timedqueue_done = false;
    pthread_mutex_unlock(&timedqueue_lock);
    delivery_thread =
        sys_thread_start({"dispatch_delay", kDeliveryStackSize, SCHED_OTHER, 0}, dispatch_delay, nullptr);
    delivery_running = true;
}

void dispatch_timed_destroy() {
    if (!delivery_running) return;
    pthread_mutex_lock(&timedqueue_lock);
    timedqueue_done = true;
    pthread_cond_signal(&timedqueue_cond);
    pthread_mutex_unlock(&timedqueue_lock);
    pthread_join(delivery_thread, nullptr);
    delivery_running = false;
    pthread_mutex_lock(&timedqueue_lock);
    pending.clear();
    pthread_mutex_unlock(&timedqueue_lock);
}
