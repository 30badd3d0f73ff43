// Routing: registration, broadcast reach and order, failures counted and reported.
#include "dispatch_support.h"

#include "sys/verbose.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using systest::drain;
using systest::named;
using systest::OwnedQueue;
using systest::pollName;

class Broadcast : public ::testing::Test {
  protected:
    void TearDown() override { verbose = false; }
};

void registerOne(msgq *q, u16 id) {
    q_register(q, &id, 1);
}
void unregisterOne(msgq *q, u16 id) {
    q_unregister(q, &id, 1);
}

TEST_F(Broadcast, ReachesExactlyTheRegisteredQueues) {
    OwnedQueue fast1("@bc1", Q_TYPE_FAST, 4);
    OwnedQueue fast2("@bc2", Q_TYPE_FAST, 4);
    OwnedQueue pollable(pollName("bc"), Q_TYPE_POLLABLE, 4);
    const u16 ids[] = {mLoadConfirm, mUnloadConfirm};
    q_register(fast1.get(), ids, 2);
    q_register(pollable.get(), ids, 1);
    registerOne(fast2.get(), mUnloadConfirm);

    const msg load = named(mLoadConfirm, DECK_A, 1);
    const msg unload = named(mUnloadConfirm, DECK_B, 2);
    q_put(nullptr, &load, Q_PRIORITY, 0);
    q_put(nullptr, &unload, Q_PRIORITY, 0);
    EXPECT_EQ(drain(fast1.get()), (std::vector<u32>{1, 2}));
    EXPECT_EQ(drain(fast2.get()), (std::vector<u32>{2}));
    EXPECT_EQ(drain(pollable.get()), (std::vector<u32>{1}));

    q_unregister(fast1.get(), ids, 2);
    q_put(nullptr, &load, Q_PRIORITY, 0);
    EXPECT_TRUE(drain(fast1.get()).empty());
    EXPECT_EQ(drain(pollable.get()), (std::vector<u32>{1}));
    q_unregister(pollable.get(), ids, 1);
    unregisterOne(fast2.get(), mUnloadConfirm);
}

TEST_F(Broadcast, RawMessagesRouteByStatusKind) {
    OwnedQueue q("@raw", Q_TYPE_FAST, 4);
    registerOne(q.get(), mNoteOn);
    msg on{};
    msg_stuff_noteon(&on, kSync, DECK_B, 127);
    msg cc{};
    msg_stuff_cc(&cc, ccXfadeReq, DECK_A, 10);
    q_put(nullptr, &on, Q_PRIORITY, 0);
    q_put(nullptr, &cc, Q_PRIORITY, 0);
    msg got{};
    ASSERT_EQ(q_get(q.get(), &got, nullptr, 0), static_cast<int>(kMsgSize));
    EXPECT_EQ(got.head.note.command, 0x91);
    EXPECT_EQ(q_get(q.get(), &got, nullptr, 0), -1);
    unregisterOne(q.get(), mNoteOn);
}

TEST_F(Broadcast, UnregisteredIdDoesNothingAndPrintsNothing) {
    OwnedQueue q("@quiet", Q_TYPE_FAST, 4);
    verbose = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const msg m = named(mVUpdate, 0, 1);
    q_put(nullptr, &m, Q_PRIORITY, 0);
    const msg none = named(mNone, 0, 1);
    registerOne(q.get(), mNone);
    q_put(nullptr, &none, Q_PRIORITY, 0); // key 0 is never delivered, registered or not
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(drain(q.get()).empty());
    unregisterOne(q.get(), mNone);
}

// Takes slots until the next free one is `wanted`.
void advanceToSlot(int wanted) {
    for (int i = 0; i < Q_MAX_QUEUES; ++i) {
        msgq *probe = q_create("@probe", Q_TYPE_FAST, 1);
        const int num = probe->num;
        q_destroy(probe);
        if ((num + 1) % Q_MAX_QUEUES == wanted) return;
    }
    FAIL() << "slot " << wanted << " never came round";
}

TEST_F(Broadcast, GoesLowestSlotFirstAndCountsFailures) {
    advanceToSlot(Q_MAX_QUEUES - 1);
    // Created in the order a, b, c, but a takes the last slot and b, c wrap round below it.
    OwnedQueue a("@ord_a", Q_TYPE_FAST, 1);
    OwnedQueue b("@ord_b", Q_TYPE_FAST, 1);
    OwnedQueue c("@ord_c", Q_TYPE_FAST, 1);
    ASSERT_EQ(a->num, Q_MAX_QUEUES - 1);
    ASSERT_LT(b->num, c->num);
    for (msgq *q : {a.get(), b.get(), c.get()}) registerOne(q, mRefreshData);

    const msg first = named(mRefreshData, 0, 1);
    q_put(nullptr, &first, Q_PRIORITY, 0);
    // Every ring of one message is now full: the second broadcast fails everywhere, in slot order.
    verbose = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const msg second = named(mRefreshData, 0, 2);
    q_put(nullptr, &second, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: sends to 3 queues failed");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError: queue send failed error = -11@ord_b "
                                                      "\nError: queue send failed error = -11@ord_c "
                                                      "\nError: queue send failed error = -11@ord_a ");
    for (msgq *q : {a.get(), b.get(), c.get()}) {
        EXPECT_EQ(drain(q), (std::vector<u32>{1}));
        unregisterOne(q, mRefreshData);
    }
}

TEST_F(Broadcast, FailureForOneQueueNeverStopsTheOthers) {
    OwnedQueue full("@bf_full", Q_TYPE_FAST, 1);
    OwnedQueue gone("@bf_gone", Q_TYPE_FAST, 1);
    OwnedQueue open("@bf_open", Q_TYPE_FAST, 4);
    for (msgq *q : {full.get(), gone.get(), open.get()}) registerOne(q, mTapReset);
    const msg filler = named(mLoadCmd, 0, 0);
    q_put(full.get(), &filler, Q_PRIORITY, 0);
    // Destroyed while still registered: a dead slot whose bit is still set is a failure.
    msgq *dead = gone.release();
    q_destroy(dead);

    testing::internal::CaptureStderr();
    const msg m = named(mTapReset, 0, 7);
    q_put(nullptr, &m, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: sends to 2 queues failed");
    EXPECT_EQ(drain(open.get()), (std::vector<u32>{7}));
    for (msgq *q : {full.get(), dead, open.get()}) unregisterOne(q, mTapReset);

    // Once unregistered the dead slot is no longer tried.
    testing::internal::CaptureStderr();
    q_put(nullptr, &m, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Broadcast, RegisteringAnIdOutOfRangeIsAComplaint) {
    OwnedQueue q("@range", Q_TYPE_FAST, 4);
    const u16 ids[] = {mMSG_NAME_COUNT, 0xFFFF, mNoTap};
    testing::internal::CaptureStderr();
    q_register(q.get(), ids, 3);
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(),
        "----------\nComplaint from q_register():\nmessage id 258 is out of range (below 258) for queue "
        "@range\n----------\n"
        "----------\nComplaint from q_register():\nmessage id 65535 is out of range (below 258) for queue "
        "@range\n----------\n");
    // The ids in range still count.
    const msg m = named(mNoTap, 0, 3);
    q_put(nullptr, &m, Q_PRIORITY, 0);
    EXPECT_EQ(drain(q.get()), (std::vector<u32>{3}));
    testing::internal::CaptureStderr();
    q_unregister(q.get(), ids, 3);
    testing::internal::GetCapturedStderr();
}

} // namespace
