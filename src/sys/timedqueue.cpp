#include "sys/timedqueue.h"

#include "sys/systime.h"

qticket_t timed_queue::add(qticket_t due_ns, msgq *target, const msg &message, unsigned priority) {
    qticket_t ticket = due_ns > 0 ? due_ns : 1;
    // Entries at ticket, ticket + 1, ... are consecutive in the map: step past them.
    for (auto it = entries_.find(ticket); it != entries_.end() && it->first == ticket; ++it) ++ticket;
    entries_.emplace(ticket, timed_entry{sys_ns_to_timespec(ticket), target, message, priority});
    return ticket;
}

bool timed_queue::cancel(qticket_t ticket) {
    return entries_.erase(ticket) != 0;
}

void timed_queue::takeDue(qticket_t now_ns, std::vector<timed_entry> &out) {
    const auto end = entries_.upper_bound(now_ns);
    for (auto it = entries_.begin(); it != end; ++it) out.push_back(it->second);
    entries_.erase(entries_.begin(), end);
}
