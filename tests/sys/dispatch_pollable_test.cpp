// POSIX message queues: round trips, time limits, full queues, names, stale queues, clamping.
#include "dispatch_support.h"

#include "sys/systime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <thread>

namespace {

using systest::drain;
using systest::named;
using systest::OwnedQueue;
using systest::pollName;

long hostDepthLimit() {
    std::ifstream file("/proc/sys/fs/mqueue/msg_max");
    long limit = 0;
    file >> limit;
    return limit;
}

bool posixQueueExists(const std::string &name) {
    const mqd_t mqd = mq_open(name.c_str(), O_RDONLY);
    if (mqd == static_cast<mqd_t>(-1)) return false;
    mq_close(mqd);
    return true;
}

TEST(PollableQueue, RoundTripKeepsOrderAndPriority) {
    OwnedQueue q(pollName("rt"), Q_TYPE_POLLABLE, 4);
    EXPECT_EQ(q->type.load(), Q_TYPE_POLLABLE);
    for (u32 seq = 1; seq <= 3; ++seq) {
        const msg m = named(mModuleInit, MODULE_DB, seq);
        q_put(q.get(), &m, Q_PRIORITY, 0);
    }
    for (u32 seq = 1; seq <= 3; ++seq) {
        msg m{};
        unsigned priority = 0;
        ASSERT_EQ(q_get(q.get(), &m, &priority, seq == 1 ? Q_WAIT_FOREVER : 100), static_cast<int>(kMsgSize));
        EXPECT_EQ(msg_get_name(&m), mModuleInit);
        EXPECT_EQ(m.sysex.id, MODULE_DB);
        EXPECT_EQ(m.sysex.body.endofsong.index, seq);
        EXPECT_EQ(priority, Q_PRIORITY);
    }
}

TEST(PollableQueue, GetTimeLimits) {
    OwnedQueue q(pollName("gt"), Q_TYPE_POLLABLE, 4);
    msg m = named(mLoadCmd, 7, 1234);
    EXPECT_EQ(q_get(q.get(), &m, nullptr, 0), -1);
    EXPECT_EQ(msg_get_name(&m), mLoadCmd); // an empty queue without waiting leaves it alone

    EXPECT_EQ(q_get(q.get(), &m, nullptr, 20), -1);
    // A timed get that times out leaves a named head with name 0 and no id.
    EXPECT_TRUE(msg_is_sysex(&m));
    EXPECT_EQ(m.sysex.name, mNone);
    EXPECT_EQ(m.sysex.id, MSG_NO_ID);
    EXPECT_EQ(m.sysex.body.endofsong.index, 1234u);
}

TEST(PollableQueue, FullQueueFailsAfterTheTimeLimit) {
    OwnedQueue q(pollName("fu"), Q_TYPE_POLLABLE, 4);
    for (u32 seq = 0; seq < 4; ++seq) {
        const msg m = named(mLoadCmd, 0, seq);
        q_put(q.get(), &m, Q_PRIORITY, 0);
    }
    for (u32 limit : {0u, 50u}) {
        testing::internal::CaptureStderr();
        const msg extra = named(mLoadCmd, 0, 99);
        q_put(q.get(), &extra, Q_PRIORITY, limit);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't send to queue " + std::string(q->name))
            << limit;
    }
    EXPECT_EQ(drain(q.get()), (std::vector<u32>{0, 1, 2, 3}));
}

TEST(PollableQueue, ReaderModeNeverMakesAnUntimedPutWait) {
    OwnedQueue q(pollName("md"), Q_TYPE_POLLABLE, 2);
    // A get that may wait leaves the reader's descriptor blocking.
    const msg first = named(mLoadCmd, 0, 1);
    q_put(q.get(), &first, Q_PRIORITY, 0);
    msg m{};
    ASSERT_EQ(q_get(q.get(), &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
    EXPECT_TRUE(q->data.pollable.blocking);
    for (u32 seq = 0; seq < 2; ++seq) {
        const msg fill = named(mLoadCmd, 0, seq);
        q_put(q.get(), &fill, Q_PRIORITY, 0);
    }
    // A put with time limit 0 to the full queue still fails at once instead of hanging.
    testing::internal::CaptureStderr();
    const msg extra = named(mLoadCmd, 0, 99);
    q_put(q.get(), &extra, Q_PRIORITY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "couldn't send to queue " + std::string(q->name));
    EXPECT_EQ(drain(q.get()), (std::vector<u32>{0, 1}));
    EXPECT_FALSE(q->data.pollable.blocking);
}

TEST(PollableQueue, WaitingPutLandsWhileTheReaderDoesNotBlock) {
    OwnedQueue q(pollName("wt"), Q_TYPE_POLLABLE, 1);
    const msg first = named(mLoadCmd, 0, 1);
    q_put(q.get(), &first, Q_PRIORITY, 0);
    msg m{};
    EXPECT_EQ(q_get(q.get(), &m, nullptr, 0), static_cast<int>(kMsgSize)); // reader now non-blocking
    q_put(q.get(), &first, Q_PRIORITY, 0);
    testing::internal::CaptureStderr();
    std::thread sender([&] {
        const msg second = named(mLoadCmd, 0, 2);
        q_put(q.get(), &second, Q_PRIORITY, Q_WAIT_FOREVER);
    });
    u32 received = 0;
    while (received < 2) {
        if (q_get(q.get(), &m, nullptr, 0) > 0) {
            EXPECT_EQ(m.sysex.body.endofsong.index, received + 1);
            ++received;
        }
    }
    sender.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PollableQueue, DestroyReleasesAPutWaitingForRoom) {
    OwnedQueue owned(pollName("wg"), Q_TYPE_POLLABLE, 1);
    msgq *q = owned.release();
    const std::string name = q->name;
    const msg filler = named(mLoadCmd, 0, 1);
    q_put(q, &filler, Q_PRIORITY, 0);
    testing::internal::CaptureStderr();
    std::thread sender([q] {
        const msg m = named(mLoadCmd, 0, 2);
        q_put(q, &m, Q_PRIORITY, Q_WAIT_FOREVER);
    });
    // Most often the sender is waiting by now; either way the destroy must not hang on it.
    sys_sleep(20);
    q_destroy(q);
    sender.join();
    const std::string printed = testing::internal::GetCapturedStderr();
    // Only a sender that started after the destroy finished reports the dead queue.
    EXPECT_TRUE(printed.empty() || printed == "couldn't send to queue ^" + name.substr(1)) << printed;
}

TEST(PollableQueue, LongNamesAreKeptForTheSystem) {
    const std::string name = pollName("_a_rather_long_queue_name");
    OwnedQueue owned(name, Q_TYPE_POLLABLE, 2);
    EXPECT_EQ(std::string(owned->name), name.substr(0, 15));
    EXPECT_TRUE(posixQueueExists(name));
    q_destroy(owned.release());
    EXPECT_FALSE(posixQueueExists(name));
}

TEST(PollableQueue, StaleQueueIsReplaced) {
    const std::string name = pollName("st");
    mq_attr attr{};
    attr.mq_maxmsg = 2;
    attr.mq_msgsize = static_cast<long>(kMsgSize);
    const mqd_t stale = mq_open(name.c_str(), O_RDWR | O_CREAT, 0600, &attr);
    ASSERT_NE(stale, static_cast<mqd_t>(-1)) << errno;
    const msg left = named(mLoadCmd, 0, 42);
    ASSERT_EQ(mq_send(stale, reinterpret_cast<const char *>(&left), kMsgSize, Q_PRIORITY), 0);
    mq_close(stale);

    OwnedQueue q(name, Q_TYPE_POLLABLE, 2);
    msg m{};
    EXPECT_EQ(q_get(q.get(), &m, nullptr, 0), -1);
}

TEST(PollableQueue, DeeperThanTheHostAllowsIsClamped) {
    const long limit = hostDepthLimit();
    if (limit <= 0 || limit >= Q_MAX_DEPTH) GTEST_SKIP() << "host limit " << limit;
    // A privileged process may go past the limit; then nothing is clamped.
    const std::string probe = pollName("pr");
    mq_attr attr{};
    attr.mq_maxmsg = limit + 1;
    attr.mq_msgsize = static_cast<long>(kMsgSize);
    const mqd_t deep = mq_open(probe.c_str(), O_RDWR | O_CREAT, 0600, &attr);
    const bool refused = deep == static_cast<mqd_t>(-1);
    if (!refused) {
        mq_close(deep);
        mq_unlink(probe.c_str());
    }

    const std::string name = pollName("cl");
    testing::internal::CaptureStderr();
    OwnedQueue q(name, Q_TYPE_POLLABLE, limit + 1);
    const std::string printed = testing::internal::GetCapturedStderr();
    mq_attr got{};
    ASSERT_EQ(mq_getattr(q->data.pollable.mqd, &got), 0);
    if (refused) {
        EXPECT_EQ(got.mq_maxmsg, limit);
        EXPECT_EQ(printed, "Warning: queue " + name + " depth " + std::to_string(limit + 1) +
                               " is above the system limit; clamped to " + std::to_string(limit) + "\n");
    } else {
        EXPECT_EQ(got.mq_maxmsg, limit + 1);
        EXPECT_EQ(printed, "");
    }
    EXPECT_EQ(got.mq_msgsize, static_cast<long>(kMsgSize));
}

} // namespace
