// Child processes of deckhost: the launcher whose children's ends come back as broadcast
// messages, the child-side set-up that every started program goes through, and a runner that
// reads a program's output.
#pragma once

#include "sys/msg.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// Needs: path (searched on the PATH as execvp does) and argv, null-terminated, argv[0] the
// program name.
// Returns: the child's pid. The child starts with an empty signal mask and every signal at its
// default action. Its end is reported once by the signal handling (sighand.h) as
// mChildProcessExited or mChildProcessKilled; whoever receives that message collects the
// status with waitpid. A failed exec ends the child with SIGABRT after "execvp: <reason>" on
// standard error, so it is reported as killed by signal 6.
// When no child can be made: "Failed to create child process: <path>" on standard error and
// SIGABRT in the caller.
pid_t sys_do_safe_vfork_exec(const char *path, const char *const argv[]);

// As sys_do_safe_vfork_exec, for a child that nobody waits for (the X server, the portable
// player's file-system tool): its end is reported the same way and the signal handling reaps it.
pid_t sys_do_safe_vfork_exec_unwaited(const char *path, const char *const argv[]);

// Needs: to be called only in a child just made by fork. Never returns.
// Guarantees: resets every signal to its default action, empties the signal mask and runs
// path like execvp; when that fails, writes "execvp: <reason>" and a line end to standard
// error and raises SIGABRT. Uses only calls that are safe after fork in a threaded process.
[[noreturn]] void sys_exec_child(const char *path, const char *const argv[]);

// For the signal handling: appends to ended one mChildProcessExited or mChildProcessKilled
// message for each child of the launcher that has ended and was not reported yet, reaps the
// unwaited ones, and forgets them all. The others stay waitable for their owners. A child that
// its owner reaped before it was seen here is forgotten without a message.
void sys_collect_ended_children(std::vector<msg> &ended);

// Needs: path and argv as for sys_do_safe_vfork_exec; out not null.
// Returns: true after running the program with its standard output into a pipe, keeping at
// most cap bytes of that output in *out, closing the pipe (a program that writes more then
// gets SIGPIPE) and waiting for it to end. False, with errno set, when the pipe or the child
// cannot be made. A program that cannot be run gives true with empty output, as a shell would.
// The child is not reported by the signal handling: this call collects it.
bool sys_run_read_output(const char *path, const char *const argv[], std::size_t cap, std::string *out);
