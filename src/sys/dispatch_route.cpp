// The routing table: one bit mask of registered slots per message id.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"

#include <array>

namespace {

std::array<std::atomic<u32>, mMSG_NAME_COUNT> route{};
pthread_mutex_t route_lock = PTHREAD_MUTEX_INITIALIZER;

// Sets or clears the queue's bit for each listed id.
void editRoutes(const char *callerfn, msgq *queue, const u16 *messages, int msg_count, bool set) {
    if (queue == nullptr || msg_count < 0 || (msg_count > 0 && messages == nullptr)) {
        xcp_complain_fn(callerfn, 0, "no queue or no list of %i message ids given", msg_count);
        return;
    }
    const u32 bit = 1u << queue->num;
    pthread_mutex_lock(&route_lock);
    for (int i = 0; i < msg_count; ++i) {
        const u16 id = messages[i];
        if (id >= mMSG_NAME_COUNT) {
            xcp_complain_fn(callerfn, 0, "message id %u is out of range (below %i) for queue %s", id,
                            mMSG_NAME_COUNT, queue->name);
            continue;
        }
        if (set) {
            route[id].fetch_or(bit, std::memory_order_acq_rel);
        } else {
            route[id].fetch_and(~bit, std::memory_order_acq_rel);
        }
    }
    pthread_mutex_unlock(&route_lock);
}

} // namespace

namespace dispatch_detail {

u32 routeMask(u16 key) {
    return key < route.size() ? route[key].load(std::memory_order_acquire) : 0;
}

void routeReset() {
    pthread_mutex_lock(&route_lock);
    for (auto &mask : route) mask.store(0, std::memory_order_release);
    pthread_mutex_unlock(&route_lock);
}

} // namespace dispatch_detail

void q_register(msgq *queue, const u16 *messages, int msg_count) {
    editRoutes("q_register", queue, messages, msg_count, true);
}

void q_unregister(msgq *queue, const u16 *messages, int msg_count) {
    editRoutes("q_unregister", queue, messages, msg_count, false);
}
