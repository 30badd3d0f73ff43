// The signal thread waits for the handled signals and writes one message per event into a
// pipe; the converter thread reads the pipe and broadcasts each message.
#include "sys/sighand.h"

#include "sys/childproc.h"
#include "sys/dispatch.h"
#include "sys/systhread.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kThreadStackSize = 32 * 1024;

int pipe_read = -1;
int pipe_write = -1;
bool threads_running = false;
pthread_t signal_thread;
pthread_t converter_thread;
// Set by sighand_destroy before it sends SIGUSR1, so that only that SIGUSR1 ends the thread.
std::atomic<bool> stopping{false};

sigset_t handledSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGQUIT);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGCHLD);
    return set;
}

void writeMessage(const msg &m) {
    for (;;) {
        // At most PIPE_BUF bytes: the write is atomic, so the reader always sees whole messages.
        const ssize_t n = write(pipe_write, &m, kMsgSize);
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

void reportEndedChildren() {
    std::vector<msg> ended;
    sys_collect_ended_children(ended);
    for (const msg &m : ended) writeMessage(m);
}

void reportQuit() {
    msg m{};
    msg_stuff_sysex(&m, mShutdownCmd, 0);
    writeMessage(m);
}

void *signalThread(void *) {
    const sigset_t set = handledSet();
    // Children that ended before the signals were blocked left no signal behind.
    reportEndedChildren();
    for (;;) {
        siginfo_t info{};
        const int sig = sigwaitinfo(&set, &info);
        if (sig == SIGUSR1 && stopping.load(std::memory_order_acquire)) break;
        if (sig == SIGCHLD) reportEndedChildren();
        if (sig == SIGQUIT) reportQuit();
    }
    close(pipe_write);
    pipe_write = -1;
    return nullptr;
}

void *converterThread(void *) {
    msg m{};
    for (;;) {
        const ssize_t n = read(pipe_read, &m, kMsgSize);
        if (n == static_cast<ssize_t>(kMsgSize)) {
            q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
            continue;
        }
        if (n > 0) continue; // a piece of a message: dropped
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        break;
    }
    close(pipe_read);
    pipe_read = -1;
    return nullptr;
}

} // namespace

void sighand_init() {
    const sigset_t set = handledSet();
    std::signal(SIGQUIT, SIG_DFL);
    std::signal(SIGUSR1, SIG_DFL);
    std::signal(SIGCHLD, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("pipe");
        return;
    }
    pipe_read = fds[0];
    pipe_write = fds[1];
    stopping.store(false, std::memory_order_release);
    converter_thread =
        sys_thread_start({"sig_convert", kThreadStackSize, SCHED_OTHER, 0}, converterThread, nullptr);
    signal_thread = sys_thread_start({"sig_wait", kThreadStackSize, SCHED_OTHER, 0}, signalThread, nullptr);
    threads_running = true;
}

void sighand_destroy() {
    if (!threads_running) return;
    stopping.store(true, std::memory_order_release);
    pthread_kill(signal_thread, SIGUSR1);
    pthread_join(signal_thread, nullptr);
    pthread_join(converter_thread, nullptr);
    threads_running = false;
}
