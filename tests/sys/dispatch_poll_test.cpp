// Waiting on a pollable queue together with file descriptors.
#include "dispatch_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using systest::named;
using systest::OwnedQueue;
using systest::pollName;

class Pipe {
  public:
    Pipe() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) std::abort();
        read_ = fds[0];
        write_ = fds[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    int readEnd() const { return read_; }
    int writeEnd() const { return write_; }
    void feed() { ASSERT_EQ(write(write_, "x", 1), 1); }
    void closeRead() {
        if (read_ >= 0) close(read_);
        read_ = -1;
    }
    void closeWrite() {
        if (write_ >= 0) close(write_);
        write_ = -1;
    }

  private:
    int read_ = -1;
    int write_ = -1;
};

std::string complaint(const std::string &text) {
    return "----------\nComplaint from print_poll_error():\n" + text + "\n----------\n";
}

std::string pathOf(int fd) {
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    return length < 0 ? "" : std::string(path, static_cast<std::size_t>(length));
}

struct PollOutcome {
    q_poll_result result;
    int index;
    std::string printed;
};

PollOutcome pollOnce(msgq *q, const std::vector<int> &fds, u32 time_limit) {
    int index = -99;
    testing::internal::CaptureStderr();
    const q_poll_result result =
        q_poll_array(q, static_cast<int>(fds.size()), fds.empty() ? nullptr : fds.data(), time_limit, &index);
    return {result, index, testing::internal::GetCapturedStderr()};
}

TEST(PollArray, ReadyEntries) {
    OwnedQueue q(pollName("pa"), Q_TYPE_POLLABLE, 4);
    Pipe quiet;
    Pipe busy;
    busy.feed();

    // A file with input, past a left-out negative descriptor and a quiet one.
    PollOutcome got = pollOnce(q.get(), {-1, quiet.readEnd(), busy.readEnd()}, Q_WAIT_FOREVER);
    EXPECT_EQ(got.result, Q_POLL_FILE_READY);
    EXPECT_EQ(got.index, 2);
    EXPECT_EQ(got.printed, "");

    // The queue comes first, and the poll does not take the message.
    const msg m = named(mModuleInit, MODULE_LCD, 1);
    q_put(q.get(), &m, Q_PRIORITY, 0);
    got = pollOnce(q.get(), {busy.readEnd()}, 0);
    EXPECT_EQ(got.result, Q_POLL_MSG_READY);
    msg taken{};
    EXPECT_EQ(q_get(q.get(), &taken, nullptr, 0), static_cast<int>(kMsgSize));

    // Input and hang-up together count as input.
    Pipe ended;
    ended.feed();
    ended.closeWrite();
    got = pollOnce(q.get(), {quiet.readEnd(), ended.readEnd()}, 0);
    EXPECT_EQ(got.result, Q_POLL_FILE_READY);
    EXPECT_EQ(got.index, 1);
}

TEST(PollArray, NothingReadyTimesOut) {
    OwnedQueue q(pollName("pt"), Q_TYPE_POLLABLE, 4);
    Pipe quiet;
    for (u32 limit : {0u, 10u}) {
        const PollOutcome got = pollOnce(q.get(), {quiet.readEnd()}, limit);
        EXPECT_EQ(got.result, Q_POLL_TIMEOUT) << limit;
        EXPECT_EQ(got.printed, "") << limit;
    }
    EXPECT_EQ(pollOnce(q.get(), {}, 0).result, Q_POLL_TIMEOUT);
}

TEST(PollArray, FailedEntries) {
    OwnedQueue q(pollName("pe"), Q_TYPE_POLLABLE, 4);
    Pipe quiet;

    // A hang-up alone is an error without a complaint.
    Pipe hungUp;
    hungUp.closeWrite();
    PollOutcome got = pollOnce(q.get(), {quiet.readEnd(), hungUp.readEnd()}, 0);
    EXPECT_EQ(got.result, Q_POLL_FILE_ERROR);
    EXPECT_EQ(got.index, 1);
    EXPECT_EQ(got.printed, "");

    // A pipe's write end whose reader is gone reports a poll error.
    Pipe orphan;
    orphan.closeRead();
    got = pollOnce(q.get(), {orphan.writeEnd()}, 0);
    EXPECT_EQ(got.result, Q_POLL_FILE_ERROR);
    EXPECT_EQ(got.index, 0);
    EXPECT_EQ(got.printed,
              complaint("Something went wrong while polling: fd=" + std::to_string(orphan.writeEnd()) + " (" +
                        pathOf(orphan.writeEnd()) + ") poll error"));

    // A descriptor that is not open (far above the ones capturing output reuses).
    const int stale = 1000;
    ASSERT_EQ(fcntl(stale, F_GETFD), -1);
    got = pollOnce(q.get(), {quiet.readEnd(), quiet.readEnd(), stale}, 0);
    EXPECT_EQ(got.result, Q_POLL_FILE_ERROR);
    EXPECT_EQ(got.index, 2);
    EXPECT_EQ(got.printed, complaint("Something went wrong while polling: fd=" + std::to_string(stale) +
                                     " (unknown path) file descriptor not open"));
}

TEST(PollArray, RefusesWhatItCannotPoll) {
    OwnedQueue fast("@pf", Q_TYPE_FAST, 4);
    PollOutcome got = pollOnce(fast.get(), {}, 0);
    EXPECT_EQ(got.result, Q_POLL_MSG_ERROR);
    EXPECT_EQ(got.printed,
              "----------\nComplaint from q_poll_array():\nqueue @pf is not pollable\n----------\n");

    OwnedQueue q(pollName("pm"), Q_TYPE_POLLABLE, 4);
    Pipe quiet;
    const std::vector<int> fifteen(15, quiet.readEnd());
    EXPECT_EQ(pollOnce(q.get(), fifteen, 0).result, Q_POLL_TIMEOUT);
    const std::vector<int> sixteen(16, quiet.readEnd());
    got = pollOnce(q.get(), sixteen, 0);
    EXPECT_EQ(got.result, Q_POLL_MSG_ERROR);
    EXPECT_EQ(got.printed,
              "----------\nComplaint from q_poll_array():\n16 file descriptors given; at most 15 can be "
              "polled with queue " +
                  std::string(q->name) + "\n----------\n");
}

} // namespace
