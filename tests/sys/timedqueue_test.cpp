// The pending timed messages: due order, distinct tickets, cancel, taking what is due.
#include "sys/timedqueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

msg tagged(u32 tag) {
    msg m{};
    msg_stuff_endofsong(&m, mModuleWake, 0, tag);
    return m;
}

std::vector<u32> tagsOf(const std::vector<timed_entry> &entries) {
    std::vector<u32> tags;
    for (const timed_entry &e : entries) tags.push_back(e.message.sysex.body.endofsong.index);
    return tags;
}

TEST(TimedQueue, EqualDueTimesGetDistinctTicketsInPutOrder) {
    struct Case {
        qticket_t due;
        qticket_t ticket;
    };
    // The tag of each entry is its place in this table.
    const Case cases[] = {
        {100, 100}, {50, 50}, {100, 101},
        {100, 102}, {75, 75}, {101, 103},
        {0, 1},     {-5, 2},  {2000000001, 2000000001},
    };
    timed_queue pending;
    u32 tag = 0;
    for (const Case &c : cases)
        EXPECT_EQ(pending.add(c.due, nullptr, tagged(tag++), Q_PRIORITY), c.ticket) << c.due;
    EXPECT_EQ(pending.size(), 9u);
    EXPECT_EQ(pending.firstDue(), 1);

    std::vector<timed_entry> due;
    pending.takeDue(101, due);
    EXPECT_EQ(tagsOf(due), (std::vector<u32>{6, 7, 1, 4, 0, 2}));
    EXPECT_EQ(due[0].due.tv_sec, 0);
    EXPECT_EQ(due[0].due.tv_nsec, 1);
    pending.takeDue(101, due); // nothing more is due
    EXPECT_EQ(due.size(), 6u);
    pending.takeDue(3000000000, due);
    EXPECT_EQ(tagsOf(due), (std::vector<u32>{6, 7, 1, 4, 0, 2, 3, 5, 8}));
    EXPECT_EQ(due.back().due.tv_sec, 2);
    EXPECT_EQ(due.back().due.tv_nsec, 1);
    EXPECT_TRUE(pending.empty());
}

TEST(TimedQueue, CancelRemovesExactlyOneTicket) {
    timed_queue pending;
    const qticket_t first = pending.add(1000, nullptr, tagged(1), Q_PRIORITY);
    const qticket_t second = pending.add(1000, nullptr, tagged(2), Q_PRIORITY);
    ASSERT_EQ(second, first + 1);
    EXPECT_FALSE(pending.cancel(999));
    EXPECT_FALSE(pending.cancel(0));
    EXPECT_TRUE(pending.cancel(second));
    EXPECT_FALSE(pending.cancel(second));
    // A freed ticket can be handed out again.
    EXPECT_EQ(pending.add(1000, nullptr, tagged(3), Q_PRIORITY), second);
    std::vector<timed_entry> due;
    pending.takeDue(2000, due);
    EXPECT_EQ(tagsOf(due), (std::vector<u32>{1, 3}));
}

} // namespace
