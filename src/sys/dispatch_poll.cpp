// Waiting on a pollable queue together with file descriptors.
#include "sys/complain.h"
#include "sys/dispatch_internal.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

// What one poll entry says, looked at in order, the queue first.
enum class EntryState { None, Ready, Failed };

EntryState entryState(short revents) {
    if ((revents & POLLIN) && (revents & POLLHUP)) return EntryState::Ready;
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) return EntryState::Failed;
    if (revents & POLLIN) return EntryState::Ready;
    return EntryState::None;
}

std::string descriptorPath(int fd, short revents) {
    if (revents & POLLNVAL) return "unknown path";
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%i", fd);
    char path[PATH_MAX];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length < 0) return "unknown path";
    return std::string(path, static_cast<std::size_t>(length));
}

void printPollError(int fd, short revents) {
    std::string words;
    const auto add = [&words](const char *word) {
        if (!words.empty()) words += ' ';
        words += word;
    };
    if (revents & POLLHUP) add("hangup");
    if (revents & POLLERR) add("poll error");
    if (revents & POLLNVAL) add("file descriptor not open");
    xcp_complain_fn("print_poll_error", 0, "Something went wrong while polling: fd=%i (%s) %s", fd,
                    descriptorPath(fd, revents).c_str(), words.c_str());
}

[[noreturn]] void pollFailure(const msgq &q, int fd_count, const int *fd_array) {
    std::fprintf(stderr, "Error polling queue %s and files ", q.name);
    for (int i = 0; i < fd_count; ++i) std::fprintf(stderr, "%i, ", fd_array[i]);
    std::fputc('\n', stderr);
    raise(SIGABRT);
    std::abort();
}

bool checkPollArguments(const msgq *queue, int fd_count, const int *fd_array) {
    if (queue == nullptr || queue->type.load(std::memory_order_acquire) != Q_TYPE_POLLABLE) {
        xcp_complain_fn("q_poll_array", 0, "queue %s is not pollable", queue ? queue->name : "(none)");
        return false;
    }
    if (fd_count < 0 || fd_count > Q_MAX_POLL_FILES || (fd_count > 0 && fd_array == nullptr)) {
        xcp_complain_fn("q_poll_array", 0,
                        "%i file descriptors given; at most %i can be polled with queue %s", fd_count,
                        Q_MAX_POLL_FILES, queue->name);
        return false;
    }
    return true;
}

int pollTimeout(u32 time_limit) {
    if (time_limit == Q_WAIT_FOREVER) return -1;
    return time_limit > static_cast<u32>(INT_MAX) ? INT_MAX : static_cast<int>(time_limit);
}

} // namespace

q_poll_result q_poll_array(msgq *queue, int fd_count, const int *fd_array, u32 time_limit,
                           int *out_idx_fd_changed) {
    if (!checkPollArguments(queue, fd_count, fd_array)) return Q_POLL_MSG_ERROR;
    // Entry 0 is the queue, entry i + 1 is fd_array[i]; poll leaves out negative descriptors.
    std::array<pollfd, Q_MAX_POLL_FILES + 1> entries{};
    const auto count = static_cast<nfds_t>(fd_count + 1);
    entries[0] = {queue->data.pollable.mqd, POLLIN, 0};
    for (int i = 0; i < fd_count; ++i) entries[static_cast<std::size_t>(i) + 1] = {fd_array[i], POLLIN, 0};

    for (;;) {
        const int ready = poll(entries.data(), count, pollTimeout(time_limit));
        if (ready < 0) {
            if (errno == EINTR) continue;
            pollFailure(*queue, fd_count, fd_array);
        }
        if (ready == 0) return Q_POLL_TIMEOUT;
        for (nfds_t i = 0; i < count; ++i) {
            const short revents = entries[i].revents;
            const EntryState state = entryState(revents);
            if (state == EntryState::None) continue;
            if (state == EntryState::Failed && (revents & (POLLERR | POLLNVAL))) {
                printPollError(entries[i].fd, revents);
            }
            if (i == 0) return state == EntryState::Ready ? Q_POLL_MSG_READY : Q_POLL_MSG_ERROR;
            if (out_idx_fd_changed != nullptr) *out_idx_fd_changed = static_cast<int>(i) - 1;
            return state == EntryState::Ready ? Q_POLL_FILE_READY : Q_POLL_FILE_ERROR;
        }
    }
}
