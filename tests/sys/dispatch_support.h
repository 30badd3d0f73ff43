// Helpers shared by the dispatcher tests.
#pragma once

#include "sys/dispatch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace systest {

// A POSIX queue name of this process ("/t<pid><tag>"), so parallel test programs never meet.
inline std::string pollName(const char *tag) {
    return "/t" + std::to_string(getpid()) + tag;
}

// A named message whose body carries a sequence number.
inline msg named(u16 name, u16 id, u32 seq = 0) {
    msg m{};
    msg_stuff_endofsong(&m, name, id, seq);
    return m;
}

// A queue destroyed when the test ends, even when an assertion fails first.
class OwnedQueue {
  public:
    OwnedQueue(const std::string &name, q_type type, long depth) : q_(q_create(name.c_str(), type, depth)) {}
    ~OwnedQueue() {
        if (q_ != nullptr) q_destroy(q_);
    }
    OwnedQueue(const OwnedQueue &) = delete;
    OwnedQueue &operator=(const OwnedQueue &) = delete;

    msgq *get() const { return q_; }
    msgq *operator->() const { return q_; }
    // For tests that destroy the queue themselves.
    msgq *release() {
        msgq *q = q_;
        q_ = nullptr;
        return q;
    }

  private:
    msgq *q_;
};

// Takes every waiting message with time limit 0 and returns their sequence numbers.
inline std::vector<u32> drain(msgq *q) {
    std::vector<u32> seqs;
    msg m{};
    while (q_get(q, &m, nullptr, 0) > 0) seqs.push_back(m.sysex.body.endofsong.index);
    return seqs;
}

// Standard error sent into a pipe, so a test can wait until a line has been printed.
class StderrPipe {
  public:
    StderrPipe() {
        std::fflush(stderr);
        saved_ = dup(2);
        if (pipe(fds_) != 0) std::abort();
        dup2(fds_[1], 2);
    }
    ~StderrPipe() { restore(); }
    StderrPipe(const StderrPipe &) = delete;
    StderrPipe &operator=(const StderrPipe &) = delete;

    // Reads until text has been printed.
    void waitFor(const std::string &text) {
        char buf[256];
        while (seen_.find(text) == std::string::npos) {
            const ssize_t n = read(fds_[0], buf, sizeof buf);
            if (n <= 0) return;
            seen_.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Puts standard error back and returns everything printed.
    std::string restore() {
        if (saved_ < 0) return seen_;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        close(fds_[1]);
        saved_ = -1;
        char buf[256];
        for (ssize_t n; (n = read(fds_[0], buf, sizeof buf)) > 0;)
            seen_.append(buf, static_cast<std::size_t>(n));
        close(fds_[0]);
        return seen_;
    }

  private:
    int saved_ = -1;
    int fds_[2] = {-1, -1};
    std::string seen_;
};

} // namespace systest
