// Signals turned into messages. SIGQUIT, SIGUSR1 and SIGCHLD are blocked in every thread and
// taken by one signal thread; a second thread puts what it produces to the queues, so that a
// broadcast waiting for a full queue never keeps the signal thread from its signals.
//
// Messages (named, broadcast with priority 15 and no time limit):
//   SIGQUIT            -> mShutdownCmd, id 0
//   a child exited     -> mChildProcessExited, body.process {pid, exit status, -1}
//   a child was killed -> mChildProcessKilled, body.process {pid, 0, signal number}
// Only children started by the launcher (childproc.h) are reported, each exactly once, however
// many of their SIGCHLD signals the system merged.
#pragma once

// Needs: to be called on the main thread before any other thread exists (threads made later
// inherit the mask), and before dispatch_init.
// Guarantees: SIGQUIT, SIGUSR1 and SIGCHLD are at their default actions and blocked; SIGPIPE
// is ignored; the two threads run (32 KB stacks). When the pipe between them cannot be made,
// prints perror "pipe" and returns without threads, the signals staying blocked.
void sighand_init();

// Needs: sighand_init ran. Guarantees: both threads have ended (messages not yet put are
// dropped). SIGUSR1 from outside the process never stops them; only this call does.
void sighand_destroy();
