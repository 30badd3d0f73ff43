// Helpers of the signal and child-process tests: a queue that hears the signal messages.
#pragma once

#include "dispatch_support.h"
#include "sys/dispatch.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <vector>

namespace systest {

// A fast queue registered for the messages of the signal handling, unregistered at the end.
class SignalListener {
  public:
    SignalListener() : queue_("@sig_listen", Q_TYPE_FAST, 64) { q_register(queue_.get(), kIds, kIdCount); }
    ~SignalListener() { q_unregister(queue_.get(), kIds, kIdCount); }
    SignalListener(const SignalListener &) = delete;
    SignalListener &operator=(const SignalListener &) = delete;

    // Returns: the next message of the signal handling, or nothing within limit_ms (a guard
    // against a hang, not a timing check).
    std::optional<msg> next(u32 limit_ms = 10000) {
        msg m{};
        if (q_get(queue_.get(), &m, nullptr, limit_ms) < 0) return std::nullopt;
        return m;
    }

    // Returns: the end message of each child in pids (messages of other children are passed
    // over); fewer when they do not all come.
    std::vector<msg> endsOf(const std::set<int> &pids) {
        std::vector<msg> ends;
        std::set<int> waiting = pids;
        while (!waiting.empty()) {
            const std::optional<msg> m = next();
            if (!m) break;
            const u16 name = msg_get_name(&*m);
            if (name != mChildProcessExited && name != mChildProcessKilled) continue;
            if (waiting.erase(m->sysex.body.process.pid_child) == 0) continue;
            ends.push_back(*m);
        }
        return ends;
    }

  private:
    static constexpr u16 kIds[] = {mChildProcessExited, mChildProcessKilled, mShutdownCmd};
    static constexpr int kIdCount = 3;
    OwnedQueue queue_;
};

} // namespace systest
