// The launcher and its record of children. The children are made with fork rather than vfork:
// the child resets its signal state before exec, which must not touch the parent's memory.
#include "sys/childproc.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ChildRecord {
    pid_t pid;
    bool reap; // nobody else waits for it
};

// Guards the record. The launcher holds it from fork until the child is recorded, so a child
// that ends at once is never looked for before it is in the list.
pthread_mutex_t children_lock = PTHREAD_MUTEX_INITIALIZER;
std::vector<ChildRecord> children;

void writeAll(int fd, const char *text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(fd, text, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

pid_t launch(const char *path, const char *const argv[], bool reap) {
    pthread_mutex_lock(&children_lock);
    const pid_t pid = fork();
    if (pid == 0) sys_exec_child(path, argv);
    if (pid < 0) {
        pthread_mutex_unlock(&children_lock);
        std::fprintf(stderr, "Failed to create child process: %s\n", path);
        raise(SIGABRT);
        return -1;
    }
    children.push_back({pid, reap});
    pthread_mutex_unlock(&children_lock);
    return pid;
}

// The message for an ended child, from the status waitid reported.
msg endMessage(pid_t pid, const siginfo_t &info) {
    msg m{};
    if (info.si_code == CLD_EXITED) {
        msg_stuff_sysex0(&m, mChildProcessExited);
        m.sysex.body.process.return_code = info.si_status;
        m.sysex.body.process.signal_code = -1;
    } else {
        msg_stuff_sysex0(&m, mChildProcessKilled);
        m.sysex.body.process.return_code = 0;
        m.sysex.body.process.signal_code = info.si_status;
    }
    m.sysex.body.process.pid_child = pid;
    return m;
}

enum class ChildState { Running, Ended, Gone };

// Looks at a child without collecting it (WNOWAIT), so its owner can still wait for it.
ChildState peekChild(pid_t pid, siginfo_t *info) {
    for (;;) {
        *info = {};
        if (waitid(P_PID, static_cast<id_t>(pid), info, WEXITED | WNOHANG | WNOWAIT) == 0)
            return info->si_pid == pid ? ChildState::Ended : ChildState::Running;
        if (errno != EINTR) return ChildState::Gone;
    }
}

void reapChild(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Closes a pipe end when it is open; keeps errno.
void closeFd(int fd) {
    const int saved = errno;
    if (fd >= 0) close(fd);
    errno = saved;
}

// In the child of sys_run_read_output: the pipe's write end becomes standard output.
[[noreturn]] void execWithOutput(int write_fd, const char *path, const char *const argv[]) {
    if (write_fd == STDOUT_FILENO) {
        fcntl(write_fd, F_SETFD, 0);
    } else {
        dup2(write_fd, STDOUT_FILENO);
    }
    sys_exec_child(path, argv);
}

void readAtMost(int fd, std::size_t cap, std::string *out) {
    char buf[256];
    while (out->size() < cap) {
        const std::size_t want = std::min(sizeof buf, cap - out->size());
        const ssize_t n = read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        out->append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

void sys_exec_child(const char *path, const char *const argv[]) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    execvp(path, const_cast<char *const *>(argv));

    const char *reason = strerrordesc_np(errno);
    writeAll(STDERR_FILENO, "execvp: ");
    writeAll(STDERR_FILENO, reason != nullptr ? reason : "Unknown error");
    writeAll(STDERR_FILENO, "\n");
    raise(SIGABRT);
    _exit(127);
}

pid_t sys_do_safe_vfork_exec(const char *path, const char *const argv[]) {
    return launch(path, argv, false);
}

pid_t sys_do_safe_vfork_exec_unwaited(const char *path, const char *const argv[]) {
    return launch(path, argv, true);
}

void sys_collect_ended_children(std::vector<msg> &ended) {
    pthread_mutex_lock(&children_lock);
    for (std::size_t i = 0; i < children.size();) {
        const ChildRecord child = children[i];
        siginfo_t info;
        const ChildState state = peekChild(child.pid, &info);
        if (state == ChildState::Running) {
            ++i;
            continue;
        }
        if (state == ChildState::Ended) {
            ended.push_back(endMessage(child.pid, info));
            if (child.reap) reapChild(child.pid);
        }
        children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
    }
    pthread_mutex_unlock(&children_lock);
}

bool sys_run_read_output(const char *path, const char *const argv[], std::size_t cap, std::string *out) {
    out->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) execWithOutput(fds[1], path, argv);
    closeFd(fds[1]);
    if (pid < 0) {
        closeFd(fds[0]);
        return false;
    }
    readAtMost(fds[0], cap, out);
    close(fds[0]);
    reapChild(pid);
    return true;
}
