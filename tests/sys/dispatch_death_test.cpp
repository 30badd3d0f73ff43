// Failures the dispatcher cannot go on from: a complaint, then SIGABRT.
#include "dispatch_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class DispatchDeath : public ::testing::Test {
  protected:
    // The delivery thread runs: the child must start afresh rather than fork this process.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(DispatchDeath, ThirtyThirdQueueAborts) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < Q_MAX_QUEUES; ++i) q_create("@slot", Q_TYPE_FAST, 1);
            q_create("@one_too_many", Q_TYPE_FAST, 1);
        },
        testing::KilledBySignal(SIGABRT),
        "Complaint from q_create\\(\\):\nMaximum number of message queues \\(max == 32\\) exceeded\n");
}

TEST_F(DispatchDeath, DepthOutOfRangeAborts) {
    for (long depth : {0L, -1L, Q_MAX_DEPTH + 1}) {
        for (q_type type : {Q_TYPE_FAST, Q_TYPE_POLLABLE}) {
            const std::string name = type == Q_TYPE_FAST ? "@deep" : "/deep";
            EXPECT_EXIT(q_create(name.c_str(), type, depth), testing::KilledBySignal(SIGABRT),
                        "queue " + name + ": depth " + std::to_string(depth) +
                            " is out of range \\(1 to 32768\\)")
                << depth;
        }
    }
}

TEST_F(DispatchDeath, PosixQueueThatCannotBeMadeAborts) {
    // A POSIX queue name must start with a slash.
    EXPECT_EXIT(q_create("no_slash", Q_TYPE_POLLABLE, 4), testing::KilledBySignal(SIGABRT),
                "can't create queue no_slash with 4 messages of maximum length " + std::to_string(kMsgSize) +
                    "\nSystem errno: 22 -- Invalid argument");
}

} // namespace
