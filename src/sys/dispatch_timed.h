// Timed messages: a message put now is delivered later by one delivery thread, as q_put would
// deliver it with no time limit; the ticket of the put cancels it.
#pragma once

#include "sys/dispatch.h"
#include "sys/timedqueue.h"

// Returns: the ticket (never 0) of a copy of *message due delay ms from now on the real-time
// clock, for queue or, with queue null, for broadcast. Two puts never share a ticket; puts
// with the same due time are delivered in the order they were made.
qticket_t q_timedput(msgq *queue, const msg *message, unsigned prio, u32 delay);

// Returns: 0 when the pending put with that ticket was removed; -22 (-EINVAL) when none is
// pending (delivered, cancelled, never made, or 0), and nothing changes.
int q_cancel_timedput(qticket_t ticket);

// Start and stop the delivery thread (called by dispatch_init and dispatch_destroy). Messages
// still pending at the stop are dropped.
void dispatch_timed_init();
void dispatch_timed_destroy();
