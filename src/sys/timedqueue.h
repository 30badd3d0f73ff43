// The pending timed messages in due order: the bookkeeping of the timed dispatcher, without
// its thread or lock.
#pragma once

#include "sys/dispatch.h"

#include <ctime>
#include <map>
#include <vector>

// The ticket of a timed put: its due time in nanoseconds on the real-time clock. 0 = none.
using qticket_t = s64;

struct timed_entry {
    timespec due;
    msgq *target; // null: broadcast
    msg message;
    unsigned priority;
};

class timed_queue {
  public:
    // Adds a message due at due_ns and returns its ticket: due_ns, or the first nanosecond
    // after it that no pending entry holds, so that every pending ticket is distinct, entries
    // with the same due time keep their order, and no ticket is 0.
    qticket_t add(qticket_t due_ns, msgq *target, const msg &message, unsigned priority);

    // Returns: true when a pending entry with exactly that ticket was removed.
    bool cancel(qticket_t ticket);

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    // Needs: not empty. Returns: the earliest ticket.
    qticket_t firstDue() const { return entries_.begin()->first; }

    // Moves every entry due at or before now_ns to the end of out, earliest first.
    void takeDue(qticket_t now_ns, std::vector<timed_entry> &out);

    void clear() { entries_.clear(); }

  private:
    std::map<qticket_t, timed_entry> entries_;
};
