// Taking messages: the owner's side of its queue.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"

#include <cstdio>

int q_get(msgq *queue, msg *message, unsigned *priority, u32 time_limit) {
    if (queue == nullptr || message == nullptr) {
        xcp_complain_fn("q_get", 0, "no queue or no message given");
        return -1;
    }
    switch (queue->type.load(std::memory_order_acquire)) {
    case Q_TYPE_FAST:
        return dispatch_detail::ringGet(*queue, message, priority, time_limit);
    case Q_TYPE_POLLABLE:
        return dispatch_detail::posixGet(*queue, message, priority, time_limit);
    case Q_TYPE_DEAD:
        break;
    }
    std::fprintf(stderr, "%s: trying to q_get from queue named '%s' after it was destroyed\n", "",
                 queue->name);
    return -1;
}
