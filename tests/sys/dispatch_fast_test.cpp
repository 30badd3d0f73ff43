// Fast in-process rings: depth, order, full rings, time limits, destroyed queues, slots.
#include "dispatch_support.h"

#include "sys/complain.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using systest::drain;
using systest::named;
using systest::OwnedQueue;

TEST(FastQueue, DepthRoundsUpToAPowerOfTwo) {
    const std::pair<long, unsigned> cases[] = {{1, 1},   {2, 2},   {3, 4},     {10, 16},
                                               {24, 32}, {32, 32}, {256, 256}, {32768, 32768}};
    for (const auto &[depth, items] : cases) {
        OwnedQueue q("@depth", Q_TYPE_FAST, depth);
        EXPECT_EQ(q->data.fast.items, items) << depth;
        EXPECT_EQ(q->type.load(), Q_TYPE_FAST);
        EXPECT_STREQ(q->name, "@depth");
    }
}

TEST(FastQueue, KeepsArrivalOrderAndReportsPriority15) {
    OwnedQueue q("@order", Q_TYPE_FAST, 8);
    for (u32 seq = 1; seq <= 5; ++seq) {
        const msg m = named(mLoadCmd, DECK_A, seq);
        q_put(q.get(), &m, 3 + seq, 0);
    }
    for (u32 seq = 1; seq <= 5; ++seq) {
        msg m{};
        unsigned priority = 0;
        ASSERT_EQ(q_get(q.get(), &m, &priority, 0), static_cast<int>(kMsgSize));
        EXPECT_EQ(m.sysex.body.endofsong.index, seq);
        EXPECT_EQ(priority, Q_PRIORITY);
    }
    msg m{};
    EXPECT_EQ(q_get(q.get(), &m, nullptr, 0), -1);
}

TEST(FastQueue, FullRingWithoutTimeLimitFailsAtOnce) {
    OwnedQueue q("@full0", Q_TYPE_FAST, 10);
    for (u32 seq = 0; seq < 16; ++seq) {
        const msg m = named(mLoadCmd, 0, seq);
        q_put(q.get(), &m, Q_PRIORITY, 0);
    }
    testing::internal::CaptureStderr();
    const msg extra = named(mLoadCmd, 0, 99);
    q_put(q.get(), &extra, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't send to queue @full0");
    const std::vector<u32> got = drain(q.get());
    ASSERT_EQ(got.size(), 16u);
    for (u32 seq = 0; seq < 16; ++seq) EXPECT_EQ(got[seq], seq);
}

TEST(FastQueue, FullRingWithTimeLimitWarnsOnceThenGivesUp) {
    OwnedQueue q("@full50", Q_TYPE_FAST, 2);
    for (u32 seq = 0; seq < 2; ++seq) {
        const msg m = named(mLoadCmd, 0, seq);
        q_put(q.get(), &m, Q_PRIORITY, 0);
    }
    testing::internal::CaptureStderr();
    const msg extra = named(mLoadCmd, 0, 99);
    q_put(q.get(), &extra, Q_PRIORITY, 50);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: waiting because queue @full50 is full (depth = 2)\ncouldn't send to queue @full50");
    EXPECT_EQ(drain(q.get()), (std::vector<u32>{0, 1}));
}

TEST(FastQueue, WaitingPutLandsOnceTheOwnerMakesRoom) {
    OwnedQueue q("@room", Q_TYPE_FAST, 1);
    const msg first = named(mLoadCmd, 0, 1);
    q_put(q.get(), &first, Q_PRIORITY, 0);
    testing::internal::CaptureStderr();
    std::thread sender([&] {
        const msg second = named(mLoadCmd, 0, 2);
        q_put(q.get(), &second, Q_PRIORITY, Q_WAIT_FOREVER);
    });
    msg m{};
    ASSERT_EQ(q_get(q.get(), &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
    EXPECT_EQ(m.sysex.body.endofsong.index, 1u);
    ASSERT_EQ(q_get(q.get(), &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
    EXPECT_EQ(m.sysex.body.endofsong.index, 2u);
    sender.join();
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.find("couldn't send"), std::string::npos) << printed;
}

TEST(FastQueue, DestroyReleasesAPutWaitingForRoom) {
    OwnedQueue owned("@wait_gone", Q_TYPE_FAST, 1);
    msgq *q = owned.release();
    const msg filler = named(mLoadCmd, 0, 1);
    q_put(q, &filler, Q_PRIORITY, 0);
    systest::StderrPipe printed;
    std::thread sender([q] {
        const msg m = named(mLoadCmd, 0, 2);
        q_put(q, &m, Q_PRIORITY, Q_WAIT_FOREVER);
    });
    printed.waitFor("is full (depth = 1)\n");
    // The waiting sender holds the queue for reading; the destroy must still get through,
    // and the message is dropped without a word.
    q_destroy(q);
    sender.join();
    EXPECT_EQ(printed.restore(), "Warning: waiting because queue @wait_gone is full (depth = 1)\n");
}

TEST(FastQueue, CountersWrapWithoutLosingOrder) {
    OwnedQueue q("@wrap", Q_TYPE_FAST, 8);
    const u32 start = 0xFFFFFFFAu;
    q->data.fast.read.store(start);
    q->data.fast.write.store(start);
    u32 next_put = 0;
    u32 next_get = 0;
    for (int round = 0; round < 6; ++round) {
        // Fill the ring exactly; the ninth put must fail as full.
        for (int i = 0; i < 8; ++i) {
            const msg m = named(mLoadCmd, 0, next_put++);
            q_put(q.get(), &m, Q_PRIORITY, 0);
        }
        testing::internal::CaptureStderr();
        const msg extra = named(mLoadCmd, 0, 0xDEAD);
        q_put(q.get(), &extra, Q_PRIORITY, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't send to queue @wrap") << round;
        for (u32 seq : drain(q.get())) EXPECT_EQ(seq, next_get++) << round;
    }
    EXPECT_EQ(next_get, next_put);
    EXPECT_LT(q->data.fast.write.load(), start); // the counters did wrap
}

TEST(FastQueue, GetTimeLimits) {
    OwnedQueue q("@gettime", Q_TYPE_FAST, 4);
    for (u32 limit : {0u, 1u, 20u}) {
        msg m = named(mLoadCmd, 7, 1234);
        EXPECT_EQ(q_get(q.get(), &m, nullptr, limit), -1) << limit;
        // A fast queue leaves the caller's record alone on a time-out.
        EXPECT_EQ(m.sysex.id, 7) << limit;
        EXPECT_EQ(m.sysex.body.endofsong.index, 1234u) << limit;
    }
    std::thread sender([&] {
        const msg m = named(mLoadCmd, 0, 5);
        q_put(q.get(), &m, Q_PRIORITY, Q_WAIT_FOREVER);
    });
    msg m{};
    EXPECT_EQ(q_get(q.get(), &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
    EXPECT_EQ(m.sysex.body.endofsong.index, 5u);
    sender.join();
}

TEST(FastQueue, RouteKeysThatSendNothing) {
    OwnedQueue q("@keys", Q_TYPE_FAST, 4);
    msg zero = named(mNone, 0, 1);
    testing::internal::CaptureStderr();
    q_put(q.get(), &zero, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    msg beyond = named(mMSG_NAME_COUNT, 0, 2);
    testing::internal::CaptureStderr();
    q_put(q.get(), &beyond, Q_PRIORITY, 0);
    q_put(nullptr, &beyond, Q_PRIORITY, 0);
    const std::string complaint = "----------\nComplaint from q_put():\nmessage name 258 is out of range "
                                  "(below 258); message not sent\n----------\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), complaint + complaint);
    EXPECT_TRUE(drain(q.get()).empty());
}

TEST(FastQueue, DestroyedQueueRefusesPutsAndGets) {
    OwnedQueue owned("@gone", Q_TYPE_FAST, 4);
    msgq *q = owned.release();
    const msg waiting = named(mLoadCmd, 0, 1);
    q_put(q, &waiting, Q_PRIORITY, 0);
    q_destroy(q);
    EXPECT_EQ(q->type.load(), Q_TYPE_DEAD);
    EXPECT_STREQ(q->name, "^gone");

    testing::internal::CaptureStderr();
    msg m{};
    EXPECT_EQ(q_get(q, &m, nullptr, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ": trying to q_get from queue named '^gone' after it was destroyed\n");

    testing::internal::CaptureStderr();
    q_put(q, &waiting, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't send to queue ^gone");

    testing::internal::CaptureStderr();
    q_destroy(q);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: q_destroy called on queue ^gone which was already destroyed\n");
}

TEST(FastQueue, SlotsAreTakenRoundRobin) {
    OwnedQueue a("@a", Q_TYPE_FAST, 1);
    OwnedQueue b("@b", Q_TYPE_FAST, 1);
    EXPECT_EQ(b->num, (a->num + 1) % Q_MAX_QUEUES);
    const int freed = a->num;
    q_destroy(a.release());
    OwnedQueue c("@c", Q_TYPE_FAST, 1);
    // The freed slot is not reused before the search wraps round to it.
    EXPECT_EQ(c->num, (b->num + 1) % Q_MAX_QUEUES);
    EXPECT_NE(c->num, freed);
}

TEST(FastQueue, NameKeepsFifteenCharacters) {
    OwnedQueue q("@a_very_long_queue_name", Q_TYPE_FAST, 1);
    EXPECT_STREQ(q->name, "@a_very_long_qu");
}

} // namespace
