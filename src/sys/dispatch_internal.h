// What the parts of the dispatcher share; not for its users.
#pragma once

#include "sys/dispatch.h"

#include <ctime>

namespace dispatch_detail {

// A send either succeeds (0), is dropped without a word because the queue is being made or
// destroyed (kSendDropped), or fails with a negative error: minus the system error, or
// kSendDead for a dead slot.
inline constexpr int kSendDropped = 1;
inline constexpr int kSendDead = -2;

msgq &slot(int num);
const pthread_mutexattr_t *mutexAttr();
u32 routeMask(u16 key);
void routeReset();

// The absolute deadline of a time limit; for Q_WAIT_FOREVER 0x7FFFFFFF s, 0 ns.
timespec deadlineFromLimit(u32 time_limit);
bool deadlinePassed(const timespec &deadline);

// Fast rings. ringInit and ringRelease run under the slot's write lock.
void ringInit(msgq &q, long depth);
void ringRelease(msgq &q);
int ringPut(msgq &q, const msg &message, u32 time_limit, const timespec &deadline);
int ringGet(msgq &q, msg *message, unsigned *priority, u32 time_limit);

// POSIX queues. posixOpen and posixClose run under the slot's write lock and give 0 or
// minus the system error.
void posixRemoveStale(const char *name);
int posixOpen(msgq &q, const char *name, long depth);
int posixClose(msgq &q);
int posixSend(msgq &q, const msg &message, unsigned priority, u32 time_limit, const timespec &deadline);
int posixGet(msgq &q, msg *message, unsigned *priority, u32 time_limit);

} // namespace dispatch_detail
