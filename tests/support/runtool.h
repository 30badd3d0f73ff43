// Runs a program of the test host (a reference encoder or decoder) from an argument list,
// never through a shell.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace orvtest {

// Runs argv (argv[0] found on PATH) with standard output written to outPath (discarded when
// empty) and standard error discarded. Returns the exit status, -1 when it could not be
// started or did not exit normally.
inline int runTool(const std::vector<std::string> &argv, const std::string &outPath = {}) {
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const char *out = outPath.empty() ? "/dev/null" : outPath.c_str();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

} // namespace orvtest
