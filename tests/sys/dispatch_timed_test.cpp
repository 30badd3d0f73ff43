// Timed messages through the delivery thread: due order, cancel, broadcast, full targets.
#include "dispatch_support.h"

#include "sys/dispatch_timed.h"
#include "sys/systime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

using systest::named;
using systest::OwnedQueue;

u32 receiveTag(msgq *q) {
    msg m{};
    EXPECT_EQ(q_get(q, &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
    return m.sysex.body.endofsong.index;
}

TEST(TimedPut, DeliversInDueOrder) {
    OwnedQueue q("@due", Q_TYPE_FAST, 16);
    const std::pair<u32, u32> puts[] = {{60, 60}, {20, 20}, {40, 40}, {0, 0}, {30, 30}};
    for (const auto &[delay, tag] : puts) {
        const msg m = named(mVUpdate, 0, tag);
        EXPECT_NE(q_timedput(q.get(), &m, Q_PRIORITY, delay), 0);
    }
    for (u32 expected : {0u, 20u, 30u, 40u, 60u}) EXPECT_EQ(receiveTag(q.get()), expected);
}

TEST(TimedPut, SameDelayKeepsPutOrderWithDistinctTickets) {
    OwnedQueue q("@same", Q_TYPE_FAST, 64);
    std::vector<qticket_t> tickets;
    for (u32 tag = 0; tag < 50; ++tag) {
        const msg m = named(mVUpdate, 0, tag);
        tickets.push_back(q_timedput(q.get(), &m, Q_PRIORITY, 30));
    }
    for (std::size_t i = 1; i < tickets.size(); ++i) EXPECT_LT(tickets[i - 1], tickets[i]);
    for (u32 tag = 0; tag < 50; ++tag) EXPECT_EQ(receiveTag(q.get()), tag);
}

TEST(TimedPut, CancelOnceThenNoLonger) {
    OwnedQueue q("@cancel", Q_TYPE_FAST, 4);
    const msg late = named(mVUpdate, 0, 1);
    const qticket_t ticket = q_timedput(q.get(), &late, Q_PRIORITY, 600000);
    const s64 now = sys_realtime_ns();
    EXPECT_GT(ticket, now + 500'000'000'000LL); // due about ten minutes from now
    EXPECT_EQ(q_cancel_timedput(ticket), 0);
    EXPECT_EQ(q_cancel_timedput(ticket), -EINVAL);
    EXPECT_EQ(q_cancel_timedput(0), -EINVAL);

    // A delivered message can no longer be cancelled.
    const msg soon = named(mVUpdate, 0, 2);
    const qticket_t delivered = q_timedput(q.get(), &soon, Q_PRIORITY, 0);
    EXPECT_EQ(receiveTag(q.get()), 2u);
    EXPECT_EQ(q_cancel_timedput(delivered), -EINVAL);
    msg m{};
    EXPECT_EQ(q_get(q.get(), &m, nullptr, 0), -1);
}

TEST(TimedPut, WithoutTargetBroadcasts) {
    OwnedQueue a("@tb_a", Q_TYPE_FAST, 4);
    OwnedQueue b("@tb_b", Q_TYPE_FAST, 4);
    const u16 id = mForceShutdownCmd;
    q_register(a.get(), &id, 1);
    q_register(b.get(), &id, 1);
    const msg m = named(mForceShutdownCmd, 0, 9);
    q_timedput(nullptr, &m, Q_PRIORITY, 5);
    EXPECT_EQ(receiveTag(a.get()), 9u);
    EXPECT_EQ(receiveTag(b.get()), 9u);
    q_unregister(a.get(), &id, 1);
    q_unregister(b.get(), &id, 1);
}

TEST(TimedPut, FullTargetHoldsUpDeliveryButNeverPutsOrCancels) {
    OwnedQueue q("@tfull", Q_TYPE_FAST, 1);
    const msg filler = named(mVUpdate, 0, 1);
    q_put(q.get(), &filler, Q_PRIORITY, 0);
    testing::internal::CaptureStderr();
    const msg blocked = named(mVUpdate, 0, 2);
    q_timedput(q.get(), &blocked, Q_PRIORITY, 0);
    // The delivery thread may now wait for room; other callers must still get through.
    for (int i = 0; i < 20; ++i) {
        const msg later = named(mVUpdate, 0, 100);
        const qticket_t ticket = q_timedput(q.get(), &later, Q_PRIORITY, 600000);
        EXPECT_EQ(q_cancel_timedput(ticket), 0);
    }
    EXPECT_EQ(receiveTag(q.get()), 1u);
    EXPECT_EQ(receiveTag(q.get()), 2u);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.find("couldn't send"), std::string::npos) << printed;
}

} // namespace
