// Signals turned into messages: child ends (exited, killed, dumped, failed exec), merged
// SIGCHLD signals, the child's signal state, reaping of unwaited children, SIGQUIT.
#include "sighand_support.h"
#include "support/tempdir.h"
#include "sys/childproc.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using systest::SignalListener;

// Collects the child's status as the owner of a child does after its end message.
int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

struct EndCase {
    const char *what;
    std::string script; // run by sh -c in a scratch folder
    u16 name;
    int return_code;
    int signal_code;
};

TEST(SignalHandling, EachKindOfChildEndGivesItsMessage) {
    orvtest::TempDir dir;
    const std::string cd = "cd '" + dir.path().string() + "' && ";
    const EndCase cases[] = {
        {"exit status 3", "exit 3", mChildProcessExited, 3, -1},
        {"exit status 0", "exit 0", mChildProcessExited, 0, -1},
        {"killed by SIGKILL", "kill -KILL $$", mChildProcessKilled, 0, 9},
        {"killed by SIGTERM", "kill -TERM $$", mChildProcessKilled, 0, 15},
        // With a core limit the kernel dumps: the end is "dumped", still reported as killed.
        {"dumped after SIGSEGV", "ulimit -c unlimited 2>/dev/null; kill -SEGV $$", mChildProcessKilled, 0,
         11},
    };
    SignalListener listener;
    for (const EndCase &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string script = cd + c.script;
        const char *const argv[] = {"sh", "-c", script.c_str(), nullptr};
        const pid_t pid = sys_do_safe_vfork_exec("sh", argv);
        ASSERT_GT(pid, 0);
        const std::vector<msg> ends = listener.endsOf({pid});
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(msg_get_name(&ends[0]), c.name);
        EXPECT_EQ(ends[0].sysex.id, MSG_NO_ID);
        EXPECT_EQ(ends[0].sysex.body.process.return_code, c.return_code);
        EXPECT_EQ(ends[0].sysex.body.process.signal_code, c.signal_code);
        // The signal handling never collects the status: the owner still can.
        const int status = reap(pid);
        ASSERT_NE(status, -1);
        if (c.signal_code < 0) {
            EXPECT_TRUE(WIFEXITED(status));
        } else {
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), c.signal_code);
        }
    }
}

TEST(SignalHandling, FailedExecEndsTheChildWithSigabrt) {
    SignalListener listener;
    const char *const argv[] = {"no-such-program-here", nullptr};
    systest::StderrPipe printed;
    const pid_t pid = sys_do_safe_vfork_exec("no-such-program-here", argv);
    ASSERT_GT(pid, 0);
    const std::vector<msg> ends = listener.endsOf({pid});
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(msg_get_name(&ends[0]), mChildProcessKilled);
    EXPECT_EQ(ends[0].sysex.body.process.signal_code, SIGABRT);
    EXPECT_EQ(printed.restore(), "execvp: No such file or directory\n");
    reap(pid);
}

TEST(SignalHandling, TwentyChildrenEndingTogetherGiveTwentyMessages) {
    orvtest::TempDir dir;
    const std::string gate = dir.file("gate");
    // Every child waits for the gate, so they all end within a few milliseconds and most of
    // their SIGCHLD signals merge.
    const std::string script = "until [ -e '" + gate + "' ]; do sleep 0.01; done";
    const char *const argv[] = {"sh", "-c", script.c_str(), nullptr};
    SignalListener listener;
    std::set<int> pids;
    for (int i = 0; i < 20; ++i) pids.insert(sys_do_safe_vfork_exec("sh", argv));
    ASSERT_EQ(pids.size(), 20u);
    std::ofstream(gate).put('1');

    const std::vector<msg> ends = listener.endsOf(pids);
    EXPECT_EQ(ends.size(), 20u);
    for (const msg &m : ends) {
        EXPECT_EQ(msg_get_name(&m), mChildProcessExited);
        EXPECT_EQ(m.sysex.body.process.return_code, 0);
    }
    // Each child is reported once.
    EXPECT_FALSE(listener.next(200).has_value());
    for (int pid : pids) reap(pid);
}

// The SigBlk and SigIgn lines of a child's status, as the child itself printed them.
std::string childSignalState(bool unwaited) {
    orvtest::TempDir dir;
    const std::string out = dir.file("status");
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    const char *const argv[] = {"grep", "-E", "^(SigBlk|SigIgn):", "/proc/self/status", nullptr};
    SignalListener listener;
    const pid_t pid =
        unwaited ? sys_do_safe_vfork_exec_unwaited("grep", argv) : sys_do_safe_vfork_exec("grep", argv);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    listener.endsOf({pid});
    if (!unwaited) reap(pid);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SignalHandling, ChildrenStartWithAnEmptyMaskAndDefaultActions) {
    // This process blocks SIGQUIT, SIGUSR1 and SIGCHLD and ignores SIGPIPE; ignore one more.
    std::signal(SIGUSR2, SIG_IGN);
    for (bool unwaited : {false, true}) {
        SCOPED_TRACE(unwaited ? "unwaited" : "waited");
        EXPECT_EQ(childSignalState(unwaited), "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
    }
    std::signal(SIGUSR2, SIG_DFL);
}

TEST(SignalHandling, UnwaitedChildrenAreReportedAndReaped) {
    SignalListener listener;
    const char *const argv[] = {"sh", "-c", "exit 7", nullptr};
    const pid_t pid = sys_do_safe_vfork_exec_unwaited("sh", argv);
    const std::vector<msg> ends = listener.endsOf({pid});
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].sysex.body.process.return_code, 7);
    // Reaped before the message left: nothing is left to wait for.
    errno = 0;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(SignalHandling, ChildrenOfOtherRunnersAreNotReported) {
    SignalListener listener;
    const char *const argv[] = {"sh", "-c", "echo hello; exit 4", nullptr};
    std::string out;
    ASSERT_TRUE(sys_run_read_output("sh", argv, 64, &out));
    EXPECT_EQ(out, "hello\n");
    EXPECT_FALSE(listener.next(200).has_value());
}

TEST(SignalHandling, SigquitBroadcastsTheShutdownCommand) {
    SignalListener listener;
    kill(getpid(), SIGQUIT);
    const std::optional<msg> m = listener.next();
    ASSERT_TRUE(m.has_value());
    EXPECT_TRUE(msg_is_sysex(&*m));
    EXPECT_EQ(msg_get_name(&*m), mShutdownCmd);
    EXPECT_EQ(m->sysex.id, 0);
}

TEST(SignalHandling, SigusrFromOutsideDoesNotStopTheSignalThread) {
    SignalListener listener;
    kill(getpid(), SIGUSR1);
    const char *const argv[] = {"true", nullptr};
    const pid_t pid = sys_do_safe_vfork_exec("true", argv);
    EXPECT_EQ(listener.endsOf({pid}).size(), 1u);
    reap(pid);
}

} // namespace
