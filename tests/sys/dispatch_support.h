// Helpers shared by the dispatcher tests.
#pragma once

#include "sys/dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

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

} // namespace systest
